// Finding units: which devices are probed and in what order, which are kept, how they are
// numbered, named and sorted, and what an enumeration leaves behind.
#include <errno.h>

#include <string>
#include <thread>

#include "tests/sg/sg_transport_fixture.h"

namespace {

const DWORD MUTEX_ACCESS = 0x1F0001;

SimUnitConfig Product(const char* product)
{
    SimUnitConfig config;
    config.product = product;
    return config;
}

using SgScanTest = SgTransportTest;

TEST_F(SgScanTest, NoDevicesIsNoUnitAndNoError)
{
    g_sys.SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0u, Enumerate());
    EXPECT_EQ(0u, g_sys.GetLastError());
}

TEST_F(SgScanTest, ProbesEveryDeviceInNumericOrderAndKeepsWhatTheFilterAccepts)
{
    devices.AddOther(10, OtherInquiry("ACME", "DISK"));
    devices.AddUnit(2, Product("QZV-57G"));
    devices.AddOther(0, OtherInquiry("ACME", "CDROM"));
    devices.AddUnit(11, Product("QZV-57H"));

    EXPECT_EQ(2u, Enumerate());
    EXPECT_EQ((std::vector<unsigned>{0, 2, 10, 11}), devices.openOrder);
    // Each probe is one standard INQUIRY for 36 bytes, with the transport's sense buffer and timeout.
    for (unsigned number : {0u, 2u, 10u, 11u}) {
        ASSERT_EQ(1u, devices.Device(number).received.size()) << number;
        const SgReceived& inquiry = devices.Device(number).received[0];
        EXPECT_EQ((Bytes{0x12, 0, 0, 0, 36, 0}), inquiry.cdb);
        EXPECT_EQ(SgTransferIn, inquiry.transfer);
        EXPECT_EQ(36u, inquiry.length);
        EXPECT_EQ(32000u, inquiry.timeoutMs);
        EXPECT_EQ(32u, inquiry.senseCapacity);
    }
    EXPECT_EQ(0u, devices.openDescriptors);
}

TEST_F(SgScanTest, WithoutAFilterEveryAnsweringDeviceIsKept)
{
    devices.AddOther(0, OtherInquiry("ACME", "DISK"));
    devices.AddUnit(1);
    EXPECT_EQ(2u, sg->enumerate(nullptr, DeviceClass()));
}

TEST_F(SgScanTest, DevicesThatCannotBeOpenedDoNotAnswerOrVanishedAreLeftOut)
{
    devices.AddUnit(0).openError = EACCES;
    devices.AddUnit(1).unit->FailCommandWithSense(1, 0x02, 0x04, 0x01);
    SimulatedSgDevice& gone = devices.AddUnit(2);
    gone.present = false;
    gone.listedWhileGone = true;
    devices.AddUnit(3).scripted.push_back({0x00, 0x01, 0x00, {}});  // the adapter lost it
    devices.AddUnit(4).executeError = EIO;
    devices.AddUnit(5);

    ASSERT_EQ(1u, Enumerate());
    // Every candidate after a failing one was still tried.
    for (unsigned number : {1u, 3u, 4u, 5u})
        EXPECT_EQ(1u, devices.Device(number).opens) << number;
    EXPECT_EQ(0u, devices.openDescriptors);
    DWORD number = 99;
    EXPECT_TRUE(sg->getDeviceNumber(0, &number));
    EXPECT_EQ(0u, number);
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(2u, devices.Device(5).received.size());
}

TEST_F(SgScanTest, UnitsAreSortedByAddressAndKeepTheirDiscoveryNumbers)
{
    SimulatedSgDevice& first = devices.AddUnit(0);
    first.address = {2, 0, 0, 0};
    SimulatedSgDevice& second = devices.AddUnit(1);
    second.address = {1, 0, 5, 0};
    SimulatedSgDevice& third = devices.AddUnit(2);
    third.addressReadable = false;
    SimulatedSgDevice& fourth = devices.AddUnit(3);
    fourth.address = {1, 0, 3, 1};
    SimulatedSgDevice& fifth = devices.AddUnit(4);
    fifth.address = {1, 0, 3, 0};

    ASSERT_EQ(5u, Enumerate());
    // Address order: 1:0:3:0 (sg4), 1:0:3:1 (sg3), 1:0:5:0 (sg1), 2:0:0:0 (sg0), unknown (sg2).
    const DWORD expected[] = {4, 3, 1, 0, 2};
    for (DWORD unit = 0; unit < 5; ++unit) {
        DWORD number = 99;
        ASSERT_TRUE(sg->getDeviceNumber(unit, &number));
        EXPECT_EQ(expected[unit], number) << unit;
        // The unit is the device it was discovered as: a command to it reaches that device.
        size_t before = devices.Device(expected[unit]).received.size();
        EXPECT_EQ(0u, TestUnitReady(unit));
        EXPECT_EQ(before + 1, devices.Device(expected[unit]).received.size()) << unit;
    }
    EXPECT_TRUE(sg->getDeviceNumber(0, nullptr));
}

TEST_F(SgScanTest, EachUnitHoldsTheMutexOfItsDeviceWhateverOrderItWasFoundIn)
{
    devices.AddOther(0, OtherInquiry("ACME", "DISK"));
    SimulatedSgDevice& first = devices.AddUnit(1);
    first.address = {3, 0, 0, 0};
    devices.AddUnit(2).address = {1, 0, 12, 0};
    devices.AddUnit(3).addressReadable = false;
    ASSERT_EQ(3u, Enumerate());
    for (const char* device : {"3:0:0:0", "1:0:12:0", "sg3"}) {
        HANDLE mutex = g_sys.OpenMutexA(MUTEX_ACCESS, FALSE, UnitMutexName(device).c_str());
        EXPECT_NE(nullptr, mutex) << device;
        g_sys.CloseHandle(mutex);
    }
    // None is held for the refused device once the scan has ended.
    EXPECT_EQ(nullptr, g_sys.OpenMutexA(MUTEX_ACCESS, FALSE, UnitMutexName("0:0:0:0").c_str()));

    // Another holder of sg2's mutex makes sg2 busy, also after sg1 has gone and a scan finds sg2
    // first: two processes agree on the unit whatever they found before it.
    RecordedTime time;
    time.waitCap = 0;
    auto holdElsewhere = [] {
        HANDLE held = nullptr;
        std::thread([&] {
            held = g_sys.OpenMutexA(MUTEX_ACCESS, FALSE, UnitMutexName("1:0:12:0").c_str());
            g_sys.WaitForSingleObject(held, 0);
        }).join();
        return held;
    };
    HANDLE other = holdElsewhere();
    EXPECT_EQ(11u, TestUnitReady(0)) << "1:0:12:0 sorts first";
    EXPECT_EQ(0u, TestUnitReady(1));
    g_sys.CloseHandle(other);
    first.present = false;
    ASSERT_EQ(2u, Enumerate());
    DWORD discovered = 99;
    ASSERT_TRUE(sg->getDeviceNumber(0, &discovered));
    EXPECT_EQ(0u, discovered);
    other = holdElsewhere();
    EXPECT_EQ(11u, TestUnitReady(0));
    g_sys.CloseHandle(other);

    sg->term();
    EXPECT_EQ(nullptr, g_sys.OpenMutexA(MUTEX_ACCESS, FALSE, UnitMutexName("1:0:12:0").c_str()));
}

TEST_F(SgScanTest, NoMoreThanThirtyTwoUnitsAndNoProbeBeyondThem)
{
    for (unsigned number = 0; number < 40; ++number)
        devices.AddUnit(number);
    EXPECT_EQ(32u, Enumerate());
    EXPECT_EQ(32u, devices.openOrder.size());
    EXPECT_EQ(0u, devices.Device(32).opens);
}

TEST_F(SgScanTest, AShortInquiryAnswerLeavesZerosNotAnEarlierCandidatesBytes)
{
    devices.AddUnit(0, Product("QZV-57X"));  // refused, but its answer filled the record
    devices.AddOther(1, {0x00, 0x80, 0x05, 0x02, 31});
    static Bytes seen;
    seen.clear();
    auto remember = [](const BYTE* inquiry) {
        if (inquiry[0] == 0x00 && inquiry[1] == 0x80 && std::memcmp(inquiry + 8, "VORNA", 5) != 0)
            seen.assign(inquiry, inquiry + 36);
        return AcceptQzvUnits(inquiry);
    };
    EXPECT_EQ(0u, Enumerate(remember));
    ASSERT_EQ(36u, seen.size());
    EXPECT_EQ(Bytes(31, 0), Bytes(seen.begin() + 5, seen.end()));
}

TEST_F(SgScanTest, ADeviceClassThatIsMissingOrTooLongFindsNothing)
{
    devices.AddUnit(0);
    EXPECT_EQ(0u, sg->enumerate(AcceptQzvUnits, nullptr));
    EXPECT_EQ(0u, sg->enumerate(AcceptQzvUnits, ""));
    // "mutexSgIo/" + class + "/" and the widest address, four fields of ten digits, must fit in 260
    // characters with the terminator.
    std::string longest(260 - 1 - 10 - 1 - 43, 'c');
    EXPECT_EQ(1u, sg->enumerate(AcceptQzvUnits, longest.c_str()));
    std::string tooLong = longest + "c";
    EXPECT_EQ(0u, sg->enumerate(AcceptQzvUnits, tooLong.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), g_sys.GetLastError());
    EXPECT_EQ(1u, devices.openOrder.size());
}

TEST_F(SgScanTest, ADeviceListThatCannotBeReadIsAFailureWithItsReason)
{
    devices.AddUnit(0);
    devices.listError = EACCES;
    EXPECT_EQ(0u, Enumerate());
    EXPECT_EQ(static_cast<DWORD>(ERROR_ACCESS_DENIED), g_sys.GetLastError());
}

TEST_F(SgScanTest, ReEnumerationDiscardsTheUnitsBeforeIt)
{
    devices.AddUnit(0).address = {0, 0, 1, 0};
    SimulatedSgDevice& later = devices.AddUnit(1);
    later.address = {0, 0, 2, 0};
    later.block = SimulatedSgDevice::BLOCK_DEVICE;
    ASSERT_EQ(2u, Enumerate());
    ASSERT_TRUE(sg->lock(1));
    EXPECT_TRUE(later.blockHeld);

    devices.Device(0).present = false;
    ASSERT_EQ(1u, Enumerate());
    EXPECT_FALSE(later.blockHeld);
    EXPECT_EQ(0u, devices.openDescriptors);
    // Index 0 now addresses sg1; index 1 is gone.
    size_t before = later.received.size();
    EXPECT_EQ(0u, TestUnitReady(0));
    EXPECT_EQ(before + 1, later.received.size());
    EXPECT_EQ(5u, TestUnitReady(1));
}

}  // namespace
