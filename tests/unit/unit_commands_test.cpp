// INQUIRY, the configuration command with its cache, and the common preamble's retry rule.
#include <gtest/gtest.h>

#include <cstring>

#include "unit/unit_command_runner.h"
#include "unit/unit_commands.h"
#include "unit/unit_layer_fixture.h"

namespace {

std::vector<uint8_t> Cdb(std::initializer_list<int> list)
{
    std::vector<uint8_t> bytes;
    for (int b : list)
        bytes.push_back(static_cast<uint8_t>(b));
    return bytes;
}

BYTE* NoCdbArea(DWORD)
{
    return nullptr;
}

// A transport whose data phase failed after it had written into the buffer, and which then reports
// a status that counts as success (as the vendor USB driver does with the sense it asks for).
UnitStatus s_scribbledStatus = 0;
UnitStatus ScribbleThenFail(DWORD, DWORD, DWORD, void* data, DWORD length)
{
    std::memset(data, 0xEE, length);
    return s_scribbledStatus;
}

class UnitCommandsTest : public UnitLayerTest {
protected:
    void SetUp() override
    {
        UnitLayerTest::SetUp();
        unit = Attach("QZV-57H", "2.01", 0x12345678);
        ASSERT_EQ(1u, UnitCount());
        unit->ClearCommands();
    }
    SimUnit* unit = nullptr;
};

TEST_F(UnitCommandsTest, InquiryCommandAndData)
{
    BYTE inquiry[36];
    std::memset(inquiry, 0xAA, sizeof inquiry);
    EXPECT_EQ(0u, UnitInquiry(0, inquiry));
    ASSERT_EQ(1u, unit->Commands().size());
    const SimCommand& sent = unit->Commands()[0];
    EXPECT_EQ(Cdb({0x12, 0x00, 0x00, 0x00, 0x24, 0x00}), sent.cdb);
    EXPECT_EQ(SimDirection::In, sent.direction);
    EXPECT_EQ(36u, sent.length);
    EXPECT_EQ(unit->InquiryData(), std::vector<uint8_t>(inquiry, inquiry + 36));
    EXPECT_EQ(0, std::memcmp(inquiry + 32, "2.01", 4));

    EXPECT_EQ(5u, UnitInquiry(1, inquiry));
    EXPECT_EQ(1u, unit->Commands().size()) << "an invalid index sends nothing";
}

TEST_F(UnitCommandsTest, InquiryIsNotRetried)
{
    unit->FailCommandWithSense(1, 0x06, 0x28, 0x00);
    BYTE inquiry[36];
    EXPECT_EQ(0x28000006u, UnitInquiry(0, inquiry));
    EXPECT_EQ(1u, unit->Commands().size());
}

TEST_F(UnitCommandsTest, ConfigurationValueIsLittleEndianAndCached)
{
    EXPECT_EQ(0x12345678u, UnitGetTable().entries[0].configuration) << "cached by the table build";
    DWORD value = 0;
    EXPECT_EQ(0u, UnitReadConfiguration(0, &value));
    EXPECT_EQ(0x12345678u, value);
    ASSERT_EQ(1u, unit->Commands().size());
    EXPECT_EQ(Cdb({0x13, 0x00, 0x00, 0x00, 0x04, 0x00}), unit->Commands()[0].cdb);
    EXPECT_EQ(SimDirection::In, unit->Commands()[0].direction);
    EXPECT_EQ(4u, unit->Commands()[0].length);
}

TEST_F(UnitCommandsTest, BusyUnitGivesTheCachedValue)
{
    // Another unit now answers at index 0: a successful read refreshes the cache.
    SimUnitConfig config;
    config.configuration = 0x00006000;
    SimUnit other(config);
    transport.found[0] = &other;
    DWORD value = 0;
    EXPECT_EQ(0u, UnitReadConfiguration(0, &value));
    EXPECT_EQ(0x00006000u, value);
    EXPECT_EQ(0x00006000u, UnitGetTable().entries[0].configuration);

    transport.busy.push_back(&other);
    value = 0xDEADBEEF;
    EXPECT_EQ(0u, UnitReadConfiguration(0, &value));
    EXPECT_EQ(0x00006000u, value);
    EXPECT_EQ(1u, other.Commands().size()) << "the busy unit was not reached";
}

TEST_F(UnitCommandsTest, NotReadyAndUnitAttentionWithoutCodeCountAsSuccessWithTheCachedValue)
{
    for (uint8_t senseKey : {uint8_t(0x02), uint8_t(0x06)}) {
        SCOPED_TRACE(int(senseKey));
        unit->FailCommandWithSense(1, senseKey, 0x00, 0x00);
        DWORD value = 0xDEADBEEF;
        EXPECT_EQ(0u, UnitReadConfiguration(0, &value));
        EXPECT_EQ(0x12345678u, value) << "never bytes the unit did not send";
        EXPECT_EQ(0x12345678u, UnitGetTable().entries[0].configuration);

        value = 0xDEADBEEF;
        unit->FailCommandWithSense(1, senseKey, 0x00, 0x00);
        EXPECT_EQ(0u, UnitConfigurationCommand(0, &value));
        EXPECT_EQ(0x12345678u, value);
    }
    // Whatever a failed data phase left in the buffer is not taken for the unit's value.
    UnitEntryAt(0)->execute = ScribbleThenFail;
    for (UnitStatus status : {2u, 6u}) {
        s_scribbledStatus = status;
        DWORD value = 0;
        EXPECT_EQ(0u, UnitReadConfiguration(0, &value)) << status;
        EXPECT_EQ(0x12345678u, value) << status;
        EXPECT_EQ(0u, UnitConfigurationCommand(0, &value)) << status;
        EXPECT_EQ(0x12345678u, value) << status;
    }
    EXPECT_EQ(0x12345678u, UnitGetTable().entries[0].configuration);
}

TEST_F(UnitCommandsTest, ANullValuePointerIsABadArgument)
{
    EXPECT_EQ(5u, UnitReadConfiguration(0, nullptr));
    EXPECT_EQ(5u, UnitConfigurationCommand(0, nullptr));
    EXPECT_TRUE(unit->Commands().empty());
}

TEST_F(UnitCommandsTest, OtherFailuresArePassedUpAndLeaveTheCache)
{
    unit->FailCommandWithSense(1, 0x05, 0x24, 0x00);
    DWORD value = 0;
    EXPECT_EQ(0x24000005u, UnitReadConfiguration(0, &value));
    EXPECT_EQ(0x12345678u, UnitGetTable().entries[0].configuration);
    unit->FailCommandWithSense(1, 0x06, 0x29, 0x00);
    EXPECT_EQ(0x29000006u, UnitReadConfiguration(0, &value));
    EXPECT_EQ(5u, UnitReadConfiguration(1, &value));
}

TEST_F(UnitCommandsTest, NoCdbAreaSendsNothing)
{
    UnitEntryAt(0)->getCdb = NoCdbArea;
    BYTE inquiry[36];
    DWORD value = 0;
    EXPECT_EQ(5u, UnitInquiry(0, inquiry));
    EXPECT_EQ(5u, UnitReadConfiguration(0, &value));
    EXPECT_EQ(5u, UnitConfigurationCommand(0, &value));
    EXPECT_TRUE(unit->Commands().empty());
}

TEST_F(UnitCommandsTest, RetryOnceRepeatsOnlyTheReadyChangeAndOnlyOnce)
{
    // TEST UNIT READY, a command that every unit answers.
    const UnitCommand once = {{0x00, 0, 0, 0, 0, 0}, 6, UnitNoData, nullptr, 0, UNIT_RETRY_ONCE};

    unit->FailCommandWithSense(1, 0x06, 0x28, 0x00);
    unit->FailCommandWithSense(2, 0x06, 0x28, 0x00);
    EXPECT_EQ(0x28000006u, UnitRun(0, once));
    EXPECT_EQ(2u, unit->Commands().size());

    unit->ClearCommands();
    unit->FailCommandWithSense(1, 0x06, 0x28, 0x00);
    EXPECT_EQ(0u, UnitRun(0, once));
    EXPECT_EQ(2u, unit->Commands().size());
    EXPECT_EQ(unit->Commands()[0].cdb, unit->Commands()[1].cdb) << "repeated unchanged";

    unit->ClearCommands();
    unit->FailCommandWithSense(1, 0x06, 0x29, 0x00);
    EXPECT_EQ(0x29000006u, UnitRun(0, once));
    EXPECT_EQ(1u, unit->Commands().size());

    unit->ClearCommands();
    const UnitCommand none = {{0x00, 0, 0, 0, 0, 0}, 6, UnitNoData, nullptr, 0, UNIT_RETRY_NONE};
    unit->FailCommandWithSense(1, 0x06, 0x28, 0x00);
    EXPECT_EQ(0x28000006u, UnitRun(0, none));
    EXPECT_EQ(1u, unit->Commands().size());
}

TEST_F(UnitCommandsTest, CdbBytesBeyondTheCommandKeepWhatWasThere)
{
    BYTE* area = UnitCdbArea(*UnitEntryAt(0));
    ASSERT_NE(nullptr, area);
    std::memset(area, 0x77, 16);
    BYTE inquiry[36];
    EXPECT_EQ(0u, UnitInquiry(0, inquiry));
    EXPECT_EQ(0x12, area[0]);
    EXPECT_EQ(0x77, area[6]);
    EXPECT_EQ(0x77, area[15]);
}

}  // namespace
