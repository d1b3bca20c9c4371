// Finding vendor-USB devices: the per-device mutexes, counting, device paths of every length and
// the driver's interface constants.
#include "unit/zeku_io_fixture.h"

namespace {

TEST(ZekuIoInterfaceTest, ClassAndControlCodesAreTheDriversOwn)
{
    const BYTE classBytes[16] = {0x01, 0x24, 0xFB, 0x2F, 0xD1, 0xF3, 0xD5, 0x11,
                                 0x81, 0xDD, 0x00, 0x01, 0x02, 0x58, 0xD0, 0x39};
    EXPECT_EQ(0, std::memcmp(&ZEKUIO_INTERFACE_CLASS, classBytes, 16));
    EXPECT_EQ(0, std::memcmp(&ZEKUIO_INTERFACE_CLASS, &VENDOR_USB_INTERFACE_CLASS, 16));
    EXPECT_EQ(static_cast<DWORD>(VENDOR_USB_SEND_COMMAND), ZEKUIO_SEND_COMMAND);
    EXPECT_EQ(static_cast<DWORD>(VENDOR_USB_RECOVER_PIPE_1), ZEKUIO_RECOVER_PIPE_1);
    EXPECT_EQ(static_cast<DWORD>(VENDOR_USB_RECOVER_PIPE_2), ZEKUIO_RECOVER_PIPE_2);
}

TEST_F(ZekuIoTest, OpensWithoutDevicesAndSharesEveryMutexWithEveryAccount)
{
    EXPECT_EQ(0u, ZekuIoCount());
    for (unsigned n : {0u, 7u, 31u}) {
        const EmulatedMutex* mutex = machine.Objects().FindMutex(ZekuMutexName(n));
        ASSERT_NE(nullptr, mutex) << n;
        EXPECT_TRUE(mutex->openToEveryone) << n;
        EXPECT_EQ(0u, mutex->owner) << n;
    }
    EXPECT_EQ(nullptr, machine.Objects().FindMutex(ZekuMutexName(32)));
    EXPECT_EQ(0u, machine.OutstandingAllocations()) << "the security descriptors are freed";

    ZekuIoClose();
    EXPECT_EQ(nullptr, machine.Objects().FindMutex(ZekuMutexName(0)));
    EXPECT_EQ(nullptr, machine.Objects().FindMutex(ZekuMutexName(31)));
}

TEST_F(ZekuIoTest, OpeningFailsWholeWhenOneMutexOrItsDescriptorCannotBeMade)
{
    ZekuIoClose();
    for (const char* call : {"CreateMutexA", "LocalAlloc", "InitializeSecurityDescriptor", "SetSecurityDescriptorDacl"}) {
        SCOPED_TRACE(call);
        machine.Faults().FailNthCall(9, 0, FaultRepeat::Once, call);
        EXPECT_EQ(0u, ZekuIoOpen());
        EXPECT_EQ(nullptr, machine.Objects().FindMutex(ZekuMutexName(0))) << "the mutexes made before are closed";
        EXPECT_EQ(0u, machine.OpenHandleCount());
        EXPECT_EQ(0u, machine.OutstandingAllocations());
    }
    machine.Faults().Clear();
    EXPECT_EQ(1u, ZekuIoOpen());
}

TEST_F(ZekuIoTest, CountsPresentDevicesUpToThirtyTwo)
{
    for (int i = 0; i < 3; ++i)
        Attach();
    EXPECT_EQ(3u, ZekuIoCount());
    for (int i = 3; i < 33; ++i)
        Attach();
    EXPECT_EQ(32u, ZekuIoCount());
    EXPECT_TRUE(NothingLeftOpen()) << "every device information set is destroyed";

    // A device that left is not listed; the ones after it move down.
    machine.Unplug(*machine.Usb().Devices()[0]->Unit());
    EXPECT_EQ(32u, ZekuIoCount());
    for (int i = 1; i < 4; ++i)
        machine.Unplug(*machine.Usb().Devices()[i]->Unit());
    EXPECT_EQ(29u, ZekuIoCount());
}

TEST_F(ZekuIoTest, CountStopsAtTheFirstIndexTheEnumerationDoesNotReturn)
{
    for (int i = 0; i < 5; ++i)
        Attach();
    // The third member asked for is refused: devices 3 and 4 are not counted.
    machine.Faults().FailNthCall(3, ERROR_NO_MORE_ITEMS, FaultRepeat::Once, "SetupDiEnumDeviceInterfaces");
    EXPECT_EQ(2u, ZekuIoCount());
    EXPECT_TRUE(NothingLeftOpen());
    // No set at all: nothing is counted.
    machine.Faults().FailNthCall(1, 0, FaultRepeat::Once, "SetupDiGetClassDevsA");
    EXPECT_EQ(0u, ZekuIoCount());
    EXPECT_EQ(5u, ZekuIoCount());
}

TEST_F(ZekuIoTest, CountClearsTheDeviceRecords)
{
    Attach();
    BYTE* area = ZekuIoGetCdb(0);
    ASSERT_NE(nullptr, area);
    std::memset(area, 0xA5, 16);
    ASSERT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(0xA5, area[6]) << "the area persists between commands";
    EXPECT_EQ(1u, ZekuIoCount());
    EXPECT_EQ(std::vector<BYTE>(16, 0), std::vector<BYTE>(area, area + 16));
    EXPECT_EQ(nullptr, ZekuIoGetCdb(32));
    EXPECT_NE(nullptr, ZekuIoGetCdb(31)) << "the area does not depend on the count";
}

TEST_F(ZekuIoTest, DevicePathsOfEveryLength)
{
    // The detail record holds the size field, the path and its terminator; more than 512 is refused.
    const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const size_t lengths[] = {80, 259, 260, 511 - pathOffset, 512 - pathOffset, 2000};
    for (size_t length : lengths)
        Attach("1.99", UsbSlot{DevicePathOfLength(length)});
    EXPECT_EQ(6u, ZekuIoCount()) << "a device is counted whatever its path";

    char path[MAX_PATH];
    std::memset(path, '#', sizeof path);
    ASSERT_TRUE(ZekuIoDevicePath(0, path, sizeof path));
    EXPECT_EQ(DevicePathOfLength(80), path);
    ASSERT_TRUE(ZekuIoDevicePath(1, path, sizeof path));
    EXPECT_EQ(DevicePathOfLength(259), path);
    for (DWORD n = 2; n < 6; ++n)
        EXPECT_FALSE(ZekuIoDevicePath(n, path, sizeof path)) << lengths[n];
    EXPECT_FALSE(ZekuIoDevicePath(6, path, sizeof path)) << "no such member";
    // A path that fits the transport's limit but not the caller's buffer.
    char small[16];
    EXPECT_FALSE(ZekuIoDevicePath(0, small, sizeof small));
    EXPECT_TRUE(NothingLeftOpen());
}

TEST_F(ZekuIoTest, PipeNamesMustFitAPath)
{
    // The pipe names add 13 characters: a 246-character device path is the longest that works.
    SimUnit& fits = Attach("1.99", UsbSlot{DevicePathOfLength(246)});
    SimUnit& tooLong = Attach("1.99", UsbSlot{DevicePathOfLength(247)});
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(1u, Device(fits).Opens(USB_PIPE_STATUS));
    EXPECT_EQ(5u, TestUnitReady(1));
    EXPECT_EQ(1u, Device(tooLong).Opens(USB_DEVICE_FILE)) << "the device itself opens";
    EXPECT_EQ(0u, Device(tooLong).Opens(USB_PIPE_DATA_IN));
    EXPECT_TRUE(Device(tooLong).Requests().empty());
    EXPECT_TRUE(NothingLeftOpen());
}

}  // namespace
