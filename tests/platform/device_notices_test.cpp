// Device-change notices on Linux: which uevents count, how a burst of them is delivered, and the
// one-second re-count where the kernel's socket is not available.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/posix_device_notices.h"

namespace {

// A uevent as the kernel sends it: a header, then fields each ended by a zero byte.
std::string Uevent(const char* action, const char* subsystem, const char* devpath = "/devices/x")
{
    std::string message = std::string(action) + "@" + devpath;
    message += '\0';
    for (std::string field : {std::string("ACTION=") + action, std::string("DEVPATH=") + devpath,
                              std::string("SUBSYSTEM=") + subsystem, std::string("SEQNUM=1234")}) {
        message += field;
        message += '\0';
    }
    return message;
}

DWORD NoticeOf(const std::string& message)
{
    return DeviceNoticeSource::NoticeOfUevent(message.data(), message.size());
}

TEST(DeviceNotices, ArrivalsAndRemovalsOfTheDevicesAUnitAppearsAsCount)
{
    for (const char* subsystem : {"scsi_generic", "block", "usb"}) {
        EXPECT_EQ(static_cast<DWORD>(DBT_DEVNODES_CHANGED), NoticeOf(Uevent("add", subsystem))) << subsystem;
        EXPECT_EQ(static_cast<DWORD>(DBT_DEVICEREMOVECOMPLETE), NoticeOf(Uevent("remove", subsystem))) << subsystem;
        EXPECT_EQ(0u, NoticeOf(Uevent("change", subsystem))) << subsystem;
        EXPECT_EQ(0u, NoticeOf(Uevent("bind", subsystem))) << subsystem;
    }
    for (const char* subsystem : {"net", "scsi", "usb_storage", "blocks", "bloc", ""})
        EXPECT_EQ(0u, NoticeOf(Uevent("add", subsystem))) << subsystem;
    EXPECT_EQ(0u, NoticeOf(Uevent("added", "block")));
}

TEST(DeviceNotices, MalformedMessagesGiveNothingAndAreNotReadBeyondTheirEnd)
{
    EXPECT_EQ(0u, DeviceNoticeSource::NoticeOfUevent("", 0));
    EXPECT_EQ(0u, NoticeOf(std::string("add@/devices/x\0SUBSYSTEM=block", 30)));  // no ACTION
    EXPECT_EQ(0u, NoticeOf(std::string("add@/devices/x\0ACTION=add", 25)));       // no SUBSYSTEM
    // The last field may lack its zero byte; a message cut inside a value is judged on what is there.
    std::string unterminated = "ACTION=remove";
    unterminated += '\0';
    unterminated += "SUBSYSTEM=block";
    EXPECT_EQ(static_cast<DWORD>(DBT_DEVICEREMOVECOMPLETE), NoticeOf(unterminated));
    EXPECT_EQ(0u, DeviceNoticeSource::NoticeOfUevent(unterminated.data(), unterminated.size() - 1));
    // A heap copy of exactly the message's bytes lets the sanitizer catch any read past its end.
    std::string message = Uevent("add", "usb");
    std::unique_ptr<char[]> copy(new char[message.size() - 1]);
    std::memcpy(copy.get(), message.data(), message.size() - 1);
    EXPECT_EQ(static_cast<DWORD>(DBT_DEVNODES_CHANGED),
              DeviceNoticeSource::NoticeOfUevent(copy.get(), message.size() - 1));
}

TEST(DeviceNotices, ABurstOfUeventsGivesEachNoticeOnceInTheOrderSeen)
{
    int pair[2];
    ASSERT_EQ(0, socketpair(AF_UNIX, SOCK_DGRAM, 0, pair));
    DeviceNoticeSource source(pair[0]);
    EXPECT_EQ(pair[0], source.Descriptor());
    EXPECT_EQ(-1, source.WaitLimitMs(0));
    for (const std::string& message : {Uevent("remove", "block"), Uevent("add", "net"), Uevent("remove", "usb"),
                                       Uevent("add", "scsi_generic"), Uevent("add", "block")})
        ASSERT_EQ(static_cast<ssize_t>(message.size()), send(pair[1], message.data(), message.size(), 0));

    std::vector<DWORD> notices;
    source.Receive(&notices);
    EXPECT_EQ((std::vector<DWORD>{DBT_DEVICEREMOVECOMPLETE, DBT_DEVNODES_CHANGED}), notices);
    // Nothing is waiting any more, and the call does not block.
    notices.clear();
    source.Receive(&notices);
    source.Tick(5000, &notices);
    EXPECT_TRUE(notices.empty());
    close(pair[1]);
}

TEST(DeviceNotices, WithoutTheSocketTheUnitsAreCountedAgainEverySecond)
{
    DeviceNoticeSource source(-1);
    EXPECT_EQ(-1, source.Descriptor());
    std::vector<DWORD> notices;
    source.Receive(&notices);
    EXPECT_EQ(1000, source.WaitLimitMs(0));
    source.Tick(0xFFFFFE00u, &notices);  // the clock starts just before the tick count wraps
    EXPECT_TRUE(notices.empty());
    EXPECT_EQ(700, source.WaitLimitMs(0xFFFFFE00u + 300));
    source.Tick(0xFFFFFE00u + 999, &notices);
    EXPECT_TRUE(notices.empty());
    source.Tick(0x000001E8u, &notices);  // 1000 ms later, across the wrap
    EXPECT_EQ((std::vector<DWORD>{DBT_DEVNODES_CHANGED}), notices);
    EXPECT_EQ(1000, source.WaitLimitMs(0x000001E8u));
    EXPECT_EQ(0, source.WaitLimitMs(0x000001E8u + 5000));
    source.Tick(0x000001E8u + 1500, &notices);
    EXPECT_EQ(2u, notices.size());
}

TEST(DeviceNotices, TheKernelSocketIsUsedWhereItOpensAndTheClockOtherwise)
{
    DeviceNoticeSource source;
    std::vector<DWORD> notices;
    if (source.Descriptor() >= 0) {
        EXPECT_EQ(-1, source.WaitLimitMs(0));
        source.Tick(0, &notices);
        source.Tick(10000, &notices);
        EXPECT_TRUE(notices.empty());
    } else {
        EXPECT_EQ(1000, source.WaitLimitMs(0));
    }
}

}  // namespace
