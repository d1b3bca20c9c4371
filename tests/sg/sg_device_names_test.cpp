// The names read from /sys: which entries of the SCSI generic class are devices, and which entry of a
// device's block folder names its disk.
#include <gtest/gtest.h>

#include "host/sg/sg_device_names.h"

namespace {

TEST(SgDeviceNames, OnlySgFollowedByA32BitDecimalNumberIsADeviceEachOnceInNumericOrder)
{
    EXPECT_EQ((std::vector<unsigned>{0, 1, 2, 10, 4294967295u}),
              SgDeviceNumbersFromNames({".", "..", "sg10", "sg2", "sg", "sg0", "sg01", "sg1", "sg001", "sg4294967295",
                                        "sg4294967296", "sg1a", "sga", "sg-1", "sg 3", "SG4", "xsg5"}));
    EXPECT_TRUE(SgDeviceNumbersFromNames({}).empty());
}

TEST(SgDeviceNames, TheDiskIsTheFirstEntryThatDoesNotStartWithADot)
{
    EXPECT_EQ("sdb", SgBlockDeviceFromNames({".", "..", "sdb", "sdc"}));
    EXPECT_EQ("", SgBlockDeviceFromNames({".", "..", ".hidden"}));
    EXPECT_EQ("", SgBlockDeviceFromNames({}));
}

}  // namespace
