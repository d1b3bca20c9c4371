// Device-change notices for the Linux front end. The kernel announces every device it adds or
// removes on a netlink socket (NETLINK_KOBJECT_UEVENT); arrivals and removals of SCSI generic,
// block and USB devices become the two event types that the dialogs look at in WM_DEVICECHANGE:
// DBT_DEVNODES_CHANGED for an arrival and DBT_DEVICEREMOVECOMPLETE for a removal. Where the socket
// cannot be opened (no permission, a container without it), the source asks for a re-count
// instead: one DBT_DEVNODES_CHANGED per second, which makes the dialogs enumerate the units afresh.
//
// How a front end uses it, in its wait loop:
//     poll Descriptor() for input (when it is not -1) together with its own descriptors, waiting no
//     longer than WaitLimitMs(now); then Receive(&notices) when the descriptor is readable and
//     Tick(now, &notices) in any case; deliver each notice to the dialogs as WM_DEVICECHANGE with
//     the notice as its event type.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/win32_types.h"

class DeviceNoticeSource {
public:
    // Opens the kernel's uevent socket, or falls back to the one-second re-count.
    DeviceNoticeSource();
    // Reads uevent messages from a datagram descriptor the caller opened, and closes it at the end
    // (tests hand in one end of a socket pair). -1 gives the re-count.
    explicit DeviceNoticeSource(int descriptor);
    ~DeviceNoticeSource();
    DeviceNoticeSource(const DeviceNoticeSource&) = delete;
    DeviceNoticeSource& operator=(const DeviceNoticeSource&) = delete;

    // The descriptor to poll for input; -1 when the source works by the clock.
    int Descriptor() const { return m_descriptor; }

    // How long the caller may wait before the next Tick, in ms from `now` (a GetTickCount value);
    // -1 when only input on the descriptor can bring a notice.
    int WaitLimitMs(DWORD now) const;

    // Reads every message waiting on the descriptor without blocking and appends the notices they
    // give, each event type at most once. Messages not sent by the kernel are ignored; messages
    // lost because the socket overflowed count as an arrival, so that the units are counted again.
    void Receive(std::vector<DWORD>* notices);

    // Without the socket: appends DBT_DEVNODES_CHANGED once a second has passed since the last one
    // (the first call starts the clock). With the socket it does nothing.
    void Tick(DWORD now, std::vector<DWORD>* notices);

    // The notice one uevent message gives, or 0 for a message of no interest. Reads no byte at or
    // beyond `length`.
    static DWORD NoticeOfUevent(const char* message, size_t length);

private:
    int m_descriptor;
    bool m_clockStarted = false;
    DWORD m_lastRecount = 0;
};
