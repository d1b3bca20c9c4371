// The parameter page: layout of the 42 bytes, group 4's value held in units of two below 2.10, the
// record left alone on failure, and the retry.
#include <cstring>

#include "unit/unit_parameter_page.h"
#include "unit_operation_fixture.h"

namespace {

// A page whose bytes tell their fields apart: group g has codeA 0xA0+g, codeB 0xB0+g,
// value32 0x1g2g3g4g and value16 0x5g6g (sent little-endian).
std::vector<uint8_t> DistinctPage()
{
    std::vector<uint8_t> page(UNIT_PARAMETER_PAGE_LENGTH, 0);
    page[0] = 0x29;
    for (int g = 0; g < 5; ++g) {
        uint8_t* group = page.data() + 2 + 8 * g;
        const uint8_t bytes[8] = {uint8_t(0xA0 + g), uint8_t(0xB0 + g), uint8_t(0x10 + g), uint8_t(0x20 + g),
                                  uint8_t(0x30 + g), uint8_t(0x40 + g), uint8_t(0x60 + g), uint8_t(0x50 + g)};
        std::memcpy(group, bytes, 8);
    }
    return page;
}

class UnitParameterPageTest : public UnitOperationTest {
protected:
    void SetUp() override { UnitLayerTest::SetUp(); }
};

TEST_F(UnitParameterPageTest, FieldsAreReadFromTheirOffsets)
{
    SetUpUnit("2.10");
    unit->ParameterPage() = DistinctPage();
    UnitParameterRecord record = {};
    EXPECT_EQ(0u, UnitReadParameterPage(0, &record));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(Bytes({0x06, 0, 0, 0, 0x2A, 0}), CdbOf(0));
    EXPECT_EQ(42u, Sent()[0].length);
    EXPECT_EQ(1u, record.valid);
    for (DWORD g = 0; g < 5; ++g) {
        EXPECT_EQ(0xA0u + g, record.groups[g].codeA) << g;
        EXPECT_EQ(0xB0u + g, record.groups[g].codeB) << g;
        EXPECT_EQ(0x10203040u + g * 0x01010101u, record.groups[g].value32) << g;
        EXPECT_EQ(0x5060u + g * 0x0101u, record.groups[g].value16) << g;
    }
}

TEST_F(UnitParameterPageTest, WrittenPageHasTheLayoutAndOnlyTheLowBytes)
{
    SetUpUnit("2.10");
    unit->ParameterPage() = DistinctPage();
    UnitParameterRecord record = {};
    ASSERT_EQ(0u, UnitReadParameterPage(0, &record));
    record.valid = 0;  // not looked at when writing
    record.groups[1].codeA = 0x1234;
    record.groups[1].value16 = 0xABCDEF;
    unit->ClearCommands();
    EXPECT_EQ(0u, UnitWriteParameterPage(0, &record));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(Bytes({0x05, 0, 0, 0, 0x2A, 0}), CdbOf(0));
    EXPECT_EQ(SimDirection::Out, Sent()[0].direction);
    std::vector<uint8_t> expected = DistinctPage();
    expected[10] = 0x34;
    expected[16] = 0xEF, expected[17] = 0xCD;
    EXPECT_EQ(expected, Sent()[0].dataOut);
    EXPECT_EQ(expected, unit->ParameterPage());
}

TEST_F(UnitParameterPageTest, BelowRevision210Group4ValueIsDoubledOnReadAndHalvedOnWrite)
{
    SetUpUnit("2.09");
    std::vector<uint8_t> page = DistinctPage();
    const uint8_t value[4] = {0x00, 0x00, 0x01, 0x00};
    std::memcpy(page.data() + 36, value, 4);
    unit->ParameterPage() = page;

    UnitParameterRecord record = {};
    ASSERT_EQ(0u, UnitReadParameterPage(0, &record));
    EXPECT_EQ(0x200u, record.groups[4].value32);
    EXPECT_EQ(0x13233343u, record.groups[3].value32) << "other groups pass unchanged";

    unit->ClearCommands();
    ASSERT_EQ(0u, UnitWriteParameterPage(0, &record));
    ASSERT_EQ(1u, Sent().size());
    EXPECT_EQ(page, Sent()[0].dataOut) << "0x200 goes back as 0x100";
}

TEST_F(UnitParameterPageTest, AtRevision210Group4ValuePassesUnchanged)
{
    SetUpUnit("2.10");
    std::vector<uint8_t> page = DistinctPage();
    const uint8_t value[4] = {0x00, 0x00, 0x01, 0x00};
    std::memcpy(page.data() + 36, value, 4);
    unit->ParameterPage() = page;

    UnitParameterRecord record = {};
    ASSERT_EQ(0u, UnitReadParameterPage(0, &record));
    EXPECT_EQ(0x100u, record.groups[4].value32);
    unit->ClearCommands();
    ASSERT_EQ(0u, UnitWriteParameterPage(0, &record));
    EXPECT_EQ(page, Sent().at(0).dataOut);
}

TEST_F(UnitParameterPageTest, FailedReadLeavesTheRecordUntouched)
{
    SetUpUnit("2.10");
    UnitParameterRecord record;
    std::memset(&record, 0x5C, sizeof record);
    const UnitParameterRecord before = record;
    unit->FailCommandWithSense(1, 0x02, 0x04, 0x01);
    EXPECT_EQ(0x04010002u, UnitReadParameterPage(0, &record));
    EXPECT_EQ(0, std::memcmp(&before, &record, sizeof record));
    EXPECT_EQ(1u, Sent().size());
}

TEST_F(UnitParameterPageTest, BothCommandsAreRepeatedOnceOnReadyChange)
{
    SetUpUnit("2.10");
    UnitParameterRecord record = {};
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0u, UnitReadParameterPage(0, &record));
    EXPECT_EQ(2u, Sent().size());
    EXPECT_EQ(1u, record.valid);

    unit->ClearCommands();
    unit->FailCommandWithSense(1, UNIT_ATTENTION, READY_CHANGE, 0x00);
    unit->FailCommandWithSense(2, UNIT_ATTENTION, READY_CHANGE, 0x00);
    EXPECT_EQ(0x28000006u, UnitWriteParameterPage(0, &record));
    EXPECT_EQ(2u, Sent().size()) << "exactly two attempts";
}

TEST_F(UnitParameterPageTest, MissingRecordOrUnitSendsNothing)
{
    SetUpUnit("2.10");
    UnitParameterRecord record = {};
    EXPECT_EQ(5u, UnitReadParameterPage(0, nullptr));
    EXPECT_EQ(5u, UnitWriteParameterPage(0, nullptr));
    EXPECT_EQ(5u, UnitReadParameterPage(1, &record));
    EXPECT_EQ(5u, UnitWriteParameterPage(1, &record));
    EXPECT_TRUE(Sent().empty());
}

}  // namespace
