// The kernel uevent socket.
#include "ui/tty/device_watch.h"

#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

// The kernel's own events (not those re-sent by the device manager).
const unsigned KERNEL_EVENTS_GROUP = 1;

// "add@/devices/..." and "remove@/devices/..." are what the system calls a device-node change.
bool IsArrivalOrRemoval(const char* event, size_t length)
{
    return (length > 4 && std::strncmp(event, "add@", 4) == 0) ||
           (length > 7 && std::strncmp(event, "remove@", 7) == 0);
}

}  // namespace

DeviceWatch::DeviceWatch() : m_socket(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT))
{
    if (m_socket < 0)
        return;
    sockaddr_nl address{};
    address.nl_family = AF_NETLINK;
    address.nl_groups = KERNEL_EVENTS_GROUP;
    if (bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        close(m_socket);
        m_socket = -1;
    }
}

DeviceWatch::~DeviceWatch()
{
    if (m_socket >= 0)
        close(m_socket);
}

bool DeviceWatch::Drain()
{
    bool changed = false;
    char event[8192];
    for (;;) {
        ssize_t got = recv(m_socket, event, sizeof event, 0);
        if (got <= 0)
            break;
        changed = changed || IsArrivalOrRemoval(event, static_cast<size_t>(got));
    }
    return changed;
}
