// REZERO UNIT and the vendor commands 0x21 and 0x3D: their bytes and their retry rules.
#include "unit/unit_control_commands.h"
#include "unit_operation_fixture.h"

namespace {

using UnitControlCommandsTest = UnitOperationTest;

TEST_F(UnitControlCommandsTest, RezeroIsSentOnceEvenOnReadyChange)
{
    EXPECT_EQ(0u, UnitRezero(0));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(Bytes({0x01, 0, 0, 0, 0, 0}), CdbOf(0));
    EXPECT_EQ(SimDirection::None, Sent()[0].direction);

    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitRezero(0));
    EXPECT_EQ(2u, Sent().size());
}

TEST_F(UnitControlCommandsTest, Command21CarriesItsFlagAndTwoValues)
{
    EXPECT_EQ(0u, UnitCommand21(0, 0, 0x01020304, 0xA1B2C3D4));
    EXPECT_EQ(0u, UnitCommand21(0, 0x100, 0, 0xFFFFFFFF));
    ASSERT_EQ(2u, Sent().size());
    EXPECT_EQ(Bytes({0x21, 0x00, 1, 2, 3, 4, 0xA1, 0xB2, 0xC3, 0xD4}), CdbOf(0));
    EXPECT_EQ(Bytes({0x21, 0x40, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}), CdbOf(1)) << "any nonzero flag is 0x40";
}

TEST_F(UnitControlCommandsTest, Command3DHasTwelveBytes)
{
    EXPECT_EQ(0u, UnitCommand3D(0, 0xEE, 0x11223344, 0x5566, 0xDD));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(Bytes({0x3D, 0, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0xDD, 0xEE, 0, 0}), CdbOf(0));
}

TEST_F(UnitControlCommandsTest, VendorCommandsAreRepeatedExactlyOnceOnReadyChange)
{
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitCommand21(0, 1, 2, 3));
    EXPECT_EQ(2u, Sent().size());

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0u, UnitCommand3D(0, 1, 2, 3, 4));
    ASSERT_EQ(2u, Sent().size());
    EXPECT_EQ(CdbOf(0), CdbOf(1));

    unit->ClearCommands();
    EXPECT_EQ(5u, UnitCommand21(1, 0, 0, 0));
    EXPECT_EQ(5u, UnitCommand3D(1, 0, 0, 0, 0));
    EXPECT_EQ(5u, UnitRezero(1));
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
