// Kernel uevents turned into device-change notices, or a re-count once a second without them.
#include "platform/posix_device_notices.h"

#include <errno.h>
#include <linux/netlink.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace {

const DWORD RECOUNT_PERIOD_MS = 1000;

// The kernel's multicast group of uevents (udev's own re-broadcast is group 2).
const unsigned KERNEL_UEVENT_GROUP = 1;

// The device kinds through which a unit appears: its SCSI generic node, its disk, its USB bridge.
bool SubsystemOfInterest(const char* value, size_t length)
{
    static const char* const kinds[] = {"scsi_generic", "block", "usb"};
    for (const char* kind : kinds)
        if (std::strlen(kind) == length && std::memcmp(kind, value, length) == 0)
            return true;
    return false;
}

bool Equals(const char* value, size_t length, const char* text)
{
    return std::strlen(text) == length && std::memcmp(value, text, length) == 0;
}

int OpenUeventSocket()
{
    int fd = socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, NETLINK_KOBJECT_UEVENT);
    if (fd < 0)
        return -1;
    struct sockaddr_nl address;
    std::memset(&address, 0, sizeof address);
    address.nl_family = AF_NETLINK;
    address.nl_groups = KERNEL_UEVENT_GROUP;
    if (bind(fd, reinterpret_cast<struct sockaddr*>(&address), sizeof address) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

void AppendOnce(std::vector<DWORD>* notices, size_t from, DWORD notice)
{
    if (std::find(notices->begin() + static_cast<std::ptrdiff_t>(from), notices->end(), notice) == notices->end())
        notices->push_back(notice);
}

}  // namespace

DeviceNoticeSource::DeviceNoticeSource() : m_descriptor(OpenUeventSocket()) {}

DeviceNoticeSource::DeviceNoticeSource(int descriptor) : m_descriptor(descriptor) {}

DeviceNoticeSource::~DeviceNoticeSource()
{
    if (m_descriptor >= 0)
        close(m_descriptor);
}

int DeviceNoticeSource::WaitLimitMs(DWORD now) const
{
    if (m_descriptor >= 0)
        return -1;
    if (!m_clockStarted)
        return static_cast<int>(RECOUNT_PERIOD_MS);
    DWORD elapsed = now - m_lastRecount;  // unsigned: right across the tick count's wrap
    return elapsed >= RECOUNT_PERIOD_MS ? 0 : static_cast<int>(RECOUNT_PERIOD_MS - elapsed);
}

void DeviceNoticeSource::Tick(DWORD now, std::vector<DWORD>* notices)
{
    if (m_descriptor >= 0)
        return;
    if (!m_clockStarted) {
        m_clockStarted = true;
        m_lastRecount = now;
        return;
    }
    if (now - m_lastRecount >= RECOUNT_PERIOD_MS) {
        m_lastRecount = now;
        notices->push_back(DBT_DEVNODES_CHANGED);
    }
}

void DeviceNoticeSource::Receive(std::vector<DWORD>* notices)
{
    if (m_descriptor < 0)
        return;
    size_t first = notices->size();
    char message[8192];
    for (;;) {
        struct sockaddr_nl sender;
        std::memset(&sender, 0, sizeof sender);
        struct iovec part = {message, sizeof message};
        struct msghdr header;
        std::memset(&header, 0, sizeof header);
        header.msg_name = &sender;
        header.msg_namelen = sizeof sender;
        header.msg_iov = &part;
        header.msg_iovlen = 1;
        ssize_t length = recvmsg(m_descriptor, &header, MSG_DONTWAIT);
        if (length < 0) {
            if (errno == EINTR)
                continue;
            if (errno == ENOBUFS) {
                AppendOnce(notices, first, DBT_DEVNODES_CHANGED);
                continue;
            }
            return;  // nothing more waiting, or the socket failed: try again at the next input
        }
        // On a netlink socket only the kernel (port 0) speaks for the devices.
        if (header.msg_namelen >= sizeof sender && sender.nl_family == AF_NETLINK && sender.nl_pid != 0)
            continue;
        size_t received = std::min(static_cast<size_t>(length), sizeof message);
        DWORD notice = NoticeOfUevent(message, received);
        if (notice != 0)
            AppendOnce(notices, first, notice);
    }
}

DWORD DeviceNoticeSource::NoticeOfUevent(const char* message, size_t length)
{
    // "ACTION@DEVPATH" then KEY=VALUE fields, each ended by a zero byte; the last may lack it.
    const char* action = nullptr;
    size_t actionLength = 0;
    bool interesting = false;
    size_t start = 0;
    while (start < length) {
        const char* field = message + start;
        const void* zero = std::memchr(field, '\0', length - start);
        size_t fieldLength = zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : length - start;
        const void* equals = std::memchr(field, '=', fieldLength);
        if (equals != nullptr) {
            size_t keyLength = static_cast<size_t>(static_cast<const char*>(equals) - field);
            const char* value = field + keyLength + 1;
            size_t valueLength = fieldLength - keyLength - 1;
            if (Equals(field, keyLength, "ACTION")) {
                action = value;
                actionLength = valueLength;
            } else if (Equals(field, keyLength, "SUBSYSTEM")) {
                interesting = SubsystemOfInterest(value, valueLength);
            }
        }
        start += fieldLength + 1;
    }
    if (!interesting || action == nullptr)
        return 0;
    if (Equals(action, actionLength, "add"))
        return DBT_DEVNODES_CHANGED;
    if (Equals(action, actionLength, "remove"))
        return DBT_DEVICEREMOVECOMPLETE;
    return 0;
}
