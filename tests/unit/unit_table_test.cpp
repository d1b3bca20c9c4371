// Building the unit table from the units behind the transports, the layer's opening and closing,
// and the per-unit dispatch.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/download.h"
#include "unit/unit_commands.h"
#include "unit/unit_layer_fixture.h"
#include "unit/unit_table.h"
#include "unit/usb/zeku_io.h"

namespace {

std::vector<BYTE> Inquiry(const char* vendor, const char* product, size_t productLength)
{
    std::vector<BYTE> inquiry(36, ' ');
    inquiry[0] = 0;
    std::memcpy(&inquiry[8], vendor, 8);
    std::memset(&inquiry[16], 0, 16);
    std::memcpy(&inquiry[16], product, productLength);
    std::memcpy(&inquiry[32], "1.99", 4);
    return inquiry;
}

TEST(UnitIdentityFilterTest, AcceptsOnlyTheTwoProductsOverAllSixteenBytes)
{
    EXPECT_EQ(1, UnitIdentityFilter(Inquiry("VORNA   ", "QZV-57G         ", 16).data()));
    EXPECT_EQ(1, UnitIdentityFilter(Inquiry("VORNA   ", "QZV-57H         ", 16).data()));
    EXPECT_EQ(0, UnitIdentityFilter(Inquiry("VORNA   ", "qzv-57g         ", 16).data()));
    EXPECT_EQ(0, UnitIdentityFilter(Inquiry("VORNA   ", "QZV-57g         ", 16).data()));
    EXPECT_EQ(0, UnitIdentityFilter(Inquiry("VORNA  X", "QZV-57G         ", 16).data()));
    EXPECT_EQ(0, UnitIdentityFilter(Inquiry("vorna   ", "QZV-57H         ", 16).data()));
    // Fewer blanks, then zero bytes.
    EXPECT_EQ(0, UnitIdentityFilter(Inquiry("VORNA   ", "QZV-57H     ", 12).data()));
    EXPECT_EQ(0, UnitIdentityFilter(Inquiry("VORNA   ", "QZV-57X         ", 16).data()));
    EXPECT_EQ(0x312E3939u, UnitRevisionFromInquiry(Inquiry("VORNA   ", "QZV-57H         ", 16).data()));
}

TEST_F(UnitLayerTest, NoUnitCountsZero)
{
    EXPECT_EQ(0u, UnitCount());
    EXPECT_EQ(0u, UnitGetTable().unitCount);
    BYTE inquiry[36];
    EXPECT_EQ(5u, UnitInquiry(0, inquiry));
}

TEST_F(UnitLayerTest, BuildKeepsOrderAndChoosesTheProcedureByRevision)
{
    SimUnit* old = Attach("QZV-57G", "1.98", 0x11110000);
    Attach("qzv-57g", "1.99");  // not our product: skipped by the filter
    SimUnit* exact = Attach("QZV-57G", "1.99", 0x00004000);
    SimUnit* later = Attach("QZV-57H", "2.00", 0x00006000);
    Attach("QZV-57H", "A.00");
    Attach("QZV-57H", "1.9 ");

    ASSERT_EQ(5u, UnitCount());
    const UnitTable& table = UnitGetTable();
    EXPECT_EQ(5u, table.hostCount);
    EXPECT_EQ(0u, table.usbCount);
    EXPECT_EQ(5u, table.unitCount);
    EXPECT_EQ("QZV-5x", transport.deviceClass);

    const struct {
        DWORD revision;
        UnitDownloadProcedure download;
        DWORD configuration;
    } expected[] = {
        {0x312E3938, ImageDownloadOld, 0x11110000}, {0x312E3939, ImageDownloadNew, 0x00004000},
        {0x322E3030, ImageDownloadNew, 0x00006000}, {0x412E3030, ImageDownloadNew, 0},
        {0x312E3920, ImageDownloadOld, 0},
    };
    for (DWORD i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        const UnitEntry& entry = table.entries[i];
        EXPECT_EQ(expected[i].revision, entry.firmwareRevision);
        EXPECT_EQ(expected[i].download, entry.download);
        EXPECT_EQ(expected[i].configuration, entry.configuration);
        EXPECT_EQ(i, entry.transportIndex);
        EXPECT_EQ(HostIoGetCdb, entry.getCdb);
        EXPECT_EQ(HostIoExecute, entry.execute);
        EXPECT_EQ(HostIoUnlock, entry.unlock);
    }
    UnitEntry zero;
    std::memset(&zero, 0, sizeof zero);
    for (DWORD i = 5; i < UNIT_MAX; ++i)
        ASSERT_EQ(0, std::memcmp(&zero, &table.entries[i], sizeof zero)) << i;

    // Each unit got the configuration command, then INQUIRY.
    for (SimUnit* unit : {old, exact, later}) {
        ASSERT_EQ(2u, unit->Commands().size());
        EXPECT_EQ(0x13, unit->Commands()[0].cdb[0]);
        EXPECT_EQ(0x12, unit->Commands()[1].cdb[0]);
    }
}

TEST_F(UnitLayerTest, SixtyFourEntriesAtMost)
{
    SimUnit* unit = Attach("QZV-57H", "2.00");
    for (int i = 0; i < 69; ++i)
        transport.attached.push_back(unit);
    EXPECT_EQ(64u, UnitCount());
    EXPECT_EQ(64u, UnitGetTable().hostCount);
    EXPECT_EQ(0u, UnitGetTable().usbCount);
    EXPECT_EQ(63u, UnitGetTable().entries[63].transportIndex);
    EXPECT_EQ(0x322E3030u, UnitGetTable().entries[63].firmwareRevision);

    transport.attached.resize(63);
    EXPECT_EQ(63u, UnitCount());
    transport.attached.push_back(unit);
    EXPECT_EQ(64u, UnitCount());
}

TEST_F(UnitLayerTest, InquiryFailureDuringTheBuildClearsEveryCount)
{
    Attach("QZV-57H", "1.99");
    SimUnit* second = Attach("QZV-57G", "1.98");
    ASSERT_EQ(2u, UnitCount());

    transport.busy.push_back(second);
    EXPECT_EQ(0u, UnitCount());
    EXPECT_EQ(0u, UnitGetTable().hostCount);
    EXPECT_EQ(0u, UnitGetTable().usbCount);
    EXPECT_EQ(0u, UnitGetTable().unitCount);
    BYTE inquiry[36];
    EXPECT_EQ(5u, UnitInquiry(0, inquiry)) << "no unit is addressable after a failed build";

    // Sense from the unit fails the build as well; the configuration command's failure does not.
    transport.busy.clear();
    second->FailCommandWithSense(2, 0x02, 0x04, 0x01);
    EXPECT_EQ(0u, UnitCount());
    second->FailCommandWithSense(1, 0x05, 0x20, 0x00);
    EXPECT_EQ(2u, UnitCount());
    EXPECT_EQ(0u, UnitGetTable().entries[1].configuration);
}

TEST_F(UnitLayerTest, DispatchChecksTheIndexAndForwardsTheTransportIndex)
{
    Attach("QZV-57H", "1.99");
    Attach("QZV-57G", "1.98");
    ASSERT_EQ(2u, UnitCount());

    DWORD value = 0;
    EXPECT_EQ(5u, UnitGetDriveLetter(2, &value));
    EXPECT_EQ(5u, UnitGetDeviceNumber(2, &value));
    EXPECT_EQ(5u, UnitLoadMedium(2));
    EXPECT_EQ(5u, UnitEjectMedium(2));
    EXPECT_EQ(5u, UnitLock(0xFFFFFFFF));
    EXPECT_EQ(5u, UnitUnlock(2));
    BYTE image[16] = {};
    EXPECT_EQ(5u, UnitDownloadFirmware(2, sizeof image, image));
    EXPECT_TRUE(transport.calls.empty()) << "an invalid index touches no entry";

    EXPECT_EQ(1u, UnitGetDriveLetter(1, &value));
    EXPECT_EQ(DWORD('F'), value);
    EXPECT_EQ(1u, UnitGetDeviceNumber(0, &value));
    EXPECT_EQ(100u, value);
    EXPECT_EQ(1u, UnitLoadMedium(1));
    EXPECT_EQ(1u, UnitEjectMedium(0));
    EXPECT_EQ(1u, UnitLock(1));
    EXPECT_EQ(1u, UnitUnlock(0));
    const std::vector<std::pair<std::string, DWORD>> expected = {
        {"getDriveLetter", 1}, {"getDeviceNumber", 0}, {"loadMedium", 1},
        {"ejectMedium", 0},    {"lock", 1},            {"unlock", 0}};
    EXPECT_EQ(expected, transport.calls);

    // An entry without a download procedure is refused, never called.
    UnitEntryAt(0)->download = nullptr;
    EXPECT_EQ(5u, UnitDownloadFirmware(0, sizeof image, image));
}

// The access right SYNCHRONIZE: enough to open a mutex by name.
const DWORD SYNCHRONIZE_ACCESS = 0x00100000;

bool ZekuMutexExists(unsigned n)
{
    char name[32];
    std::snprintf(name, sizeof name, "ZekuIo/mutex/device/%02u", n);
    HANDLE mutex = g_sys.OpenMutexA(SYNCHRONIZE_ACCESS, FALSE, name);
    if (!mutex)
        return false;
    g_sys.CloseHandle(mutex);
    return true;
}

TEST_F(UnitLayerTest, OpeningCreatesTheVendorUsbMutexesAndClosingReleasesThem)
{
    EXPECT_TRUE(ZekuMutexExists(0));
    EXPECT_TRUE(ZekuMutexExists(31));
    EXPECT_FALSE(ZekuMutexExists(32));
    EXPECT_EQ(0u, ZekuIoCount()) << "no vendor USB driver on this system";

    UnitLayerClose();
    EXPECT_FALSE(ZekuMutexExists(0));
    EXPECT_FALSE(ZekuMutexExists(31));

    // Counting reopens the layer.
    UnitCount();
    EXPECT_TRUE(ZekuMutexExists(0));
    EXPECT_TRUE(ZekuMutexExists(31));
}

int s_zekuMutexCalls = 0;

HANDLE WINAPI FifthZekuMutexFails(LPSECURITY_ATTRIBUTES attributes, BOOL owned, LPCSTR name)
{
    if (name && std::strncmp(name, "ZekuIo/", 7) == 0 && ++s_zekuMutexCalls == 5) {
        g_sys.SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return SystemNativeTable().CreateMutexA(attributes, owned, name);
}

TEST_F(UnitLayerTest, LayerDoesNotOpenWithoutTheVendorUsbMutexes)
{
    Attach("QZV-57H", "1.99");
    ASSERT_EQ(1u, UnitCount());
    UnitLayerClose();

    s_zekuMutexCalls = 0;
    g_sys.CreateMutexA = FifthZekuMutexFails;
    EXPECT_EQ(0u, UnitLayerOpen());
    EXPECT_FALSE(ZekuMutexExists(0)) << "the mutexes made before the failure are closed again";
    // The failed opening is cached until the layer is closed.
    const int callsAfterFailure = s_zekuMutexCalls;
    EXPECT_EQ(0u, UnitLayerOpen());
    EXPECT_EQ(callsAfterFailure, s_zekuMutexCalls);

    UnitLayerClose();
    EXPECT_EQ(1u, UnitLayerOpen());
    EXPECT_TRUE(ZekuMutexExists(31));
}

}  // namespace
