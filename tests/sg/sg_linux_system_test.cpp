// The transport's Linux calls on the machine running the tests, as far as they touch no device: the
// device list, and a device that is not there. No command is ever sent to a device of this machine.
#include <errno.h>

#include "host/sg/sg_device_calls.h"
#include "tests/sg/sg_transport_fixture.h"

namespace {

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
