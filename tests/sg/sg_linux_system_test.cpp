// The transport on the real system of the machine running the tests, which has no QZV-57 attached.
#include <errno.h>

#include "host/sg/sg_device_calls.h"
#include "tests/sg/sg_transport_fixture.h"

namespace {

TEST(SgLinuxSystem, AMachineWithoutAUnitEnumeratesNoneAndReportsNoError)
{
    SgDeviceCallsReset();
    ASSERT_EQ(1, SgIoInit());
    const HostInterface* sg = SgIoOperations();
    g_sys.SetLastError(ERROR_GEN_FAILURE);
    EXPECT_EQ(0u, sg->enumerate(AcceptQzvUnits, DeviceClass()));
    EXPECT_EQ(0u, g_sys.GetLastError());
    EXPECT_EQ(5u, sg->execute(0, UnitNoData, 6, nullptr, 0));
    EXPECT_TRUE(sg->term());
}

TEST(SgLinuxSystem, TheDeviceListIsReadableAndAscending)
{
    std::vector<unsigned> numbers = {12345};
    EXPECT_EQ(0, SgLinuxDeviceCalls().ListDevices(&numbers));
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(numbers.end(), std::find(numbers.begin(), numbers.end(), 12345u));
}

TEST(SgLinuxSystem, ADeviceThatIsNotThereCannotBeOpenedAndHasNoDisk)
{
    const unsigned absent = 4000000000u;
    EXPECT_EQ(-ENOENT, SgLinuxDeviceCalls().Open(absent));
    int fd = 99;
    EXPECT_EQ(0, SgLinuxDeviceCalls().OpenBlockExclusive(absent, &fd));
    EXPECT_EQ(-1, fd);
}

}  // namespace
