// The unit's identity and status commands, its sense data and the record of what it received.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/sim/sim_unit_driver.h"

namespace {

TEST(SimUnitInquiry, StandardDataCarriesVendorPaddedProductAndRevision)
{
    SimUnitConfig config;
    config.product = "QZV-57G";
    config.revision = "2.10";
    SimUnit unit(config);
    Bytes inquiry(36, 0xEE);
    const SimResult result = Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::In, inquiry);
    EXPECT_EQ(SENSE_GOOD, SenseOf(result));
    EXPECT_EQ(36u, result.transferred);
    EXPECT_EQ("VORNA   ", std::string(inquiry.begin() + 8, inquiry.begin() + 16));
    EXPECT_EQ("QZV-57G         ", std::string(inquiry.begin() + 16, inquiry.begin() + 32));
    EXPECT_EQ("2.10", std::string(inquiry.begin() + 32, inquiry.begin() + 36));
    EXPECT_EQ(31, inquiry[4]);
    EXPECT_EQ(unit.InquiryData(), inquiry);
}

TEST(SimUnitInquiry, IdentityFieldsAreCopiedAsGivenForFilterScenarios)
{
    SimUnitConfig config;
    config.vendor = "VORNB";
    config.product = std::string("QZV-57H\0\0", 9);
    SimUnit unit(config);
    const Bytes inquiry = unit.InquiryData();
    EXPECT_EQ("VORNB   ", std::string(inquiry.begin() + 8, inquiry.begin() + 16));
    EXPECT_EQ(std::string("QZV-57H\0\0       ", 16), std::string(inquiry.begin() + 16, inquiry.begin() + 32));
}

TEST(SimUnitInquiry, AllocationLengthAndBufferBoundTheTransfer)
{
    SimUnit unit;
    Bytes buffer(36, 0xEE);
    SimResult result = Send(unit, {0x12, 0, 0, 0, 8, 0}, SimDirection::In, buffer);
    EXPECT_EQ(8u, result.transferred);
    EXPECT_EQ(0xEE, buffer[8]);
    const Bytes expected = unit.InquiryData();
    EXPECT_EQ(Bytes(expected.begin(), expected.begin() + 8), Bytes(buffer.begin(), buffer.begin() + 8));

    // 16-bit allocation length larger than the data: only the 36 bytes come.
    Bytes big(64, 0xEE);
    result = Send(unit, {0x12, 0, 0, 0x01, 0x00, 0}, SimDirection::In, big);
    EXPECT_EQ(36u, result.transferred);
    EXPECT_EQ(0xEE, big[36]);

    // A host buffer smaller than the allocation length is never overrun.
    Bytes small(5, 0xEE);
    result = Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::In, small);
    EXPECT_EQ(5u, result.transferred);
}

TEST(SimUnitInquiry, VitalProductDataIsNotOffered)
{
    SimUnit unit;
    Bytes buffer(36);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, {0x12, 1, 0x80, 0, 36, 0}, SimDirection::In, buffer)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::Out, buffer)));
}

TEST(SimUnitConfiguration, FourBytesLittleEndian)
{
    SimUnitConfig config;
    config.configuration = 0x12345678;
    SimUnit unit(config);
    Bytes value(4, 0);
    const SimResult result = Send(unit, {0x13, 0, 0, 0, 4, 0}, SimDirection::In, value);
    EXPECT_EQ(SENSE_GOOD, SenseOf(result));
    EXPECT_EQ(4u, result.transferred);
    EXPECT_EQ(Bytes({0x78, 0x56, 0x34, 0x12}), value);
    unit.SetConfiguration(0x6000);
    Send(unit, {0x13, 0, 0, 0, 4, 0}, SimDirection::In, value);
    EXPECT_EQ(Bytes({0x00, 0x60, 0x00, 0x00}), value);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, {0x13, 0, 1, 0, 4, 0}, SimDirection::In, value)));
}

TEST(SimUnitSense, UnknownOpcodeGetsFixedFormatIllegalRequest)
{
    SimUnit unit;
    const SimResult result = SendNoData(unit, {0xC7, 0, 0, 0, 0, 0});
    EXPECT_EQ(2, result.scsiStatus);
    ASSERT_EQ(18u, result.sense.size());
    EXPECT_EQ(0x70, result.sense[0]);
    EXPECT_EQ(0x05, result.sense[2]);
    EXPECT_EQ(10, result.sense[7]);
    EXPECT_EQ(0x20, result.sense[12]);
    EXPECT_EQ(0x00, result.sense[13]);
}

TEST(SimUnitSense, RequestSenseReportsTheLastSenseOnceThenNoSense)
{
    SimUnit unit;
    SendNoData(unit, {0xC7, 0, 0, 0, 0, 0});
    Bytes sense(18, 0xEE);
    SimResult result = Send(unit, {0x03, 0, 0, 0, 18, 0}, SimDirection::In, sense);
    EXPECT_EQ(SENSE_GOOD, SenseOf(result));
    EXPECT_EQ(18u, result.transferred);
    EXPECT_EQ(0x70, sense[0]);
    EXPECT_EQ(0x05, sense[2]);
    EXPECT_EQ(0x20, sense[12]);

    result = Send(unit, {0x03, 0, 0, 0, 18, 0}, SimDirection::In, sense);
    EXPECT_EQ(0x70, sense[0]);
    EXPECT_EQ(0x00, sense[2]);
    EXPECT_EQ(0x00, sense[12]);

    // A good command in between replaces the pending sense.
    SendNoData(unit, {0x12, 0x01, 0, 0, 0, 0});
    SendNoData(unit, {0x00, 0, 0, 0, 0, 0});
    Send(unit, {0x03, 0, 0, 0, 18, 0}, SimDirection::In, sense);
    EXPECT_EQ(0x00, sense[2]);

    // Allocation length honoured.
    SendNoData(unit, {0xC7, 0, 0, 0, 0, 0});
    Bytes shortSense(18, 0xEE);
    result = Send(unit, {0x03, 0, 0, 0, 4, 0}, SimDirection::In, shortSense);
    EXPECT_EQ(4u, result.transferred);
    EXPECT_EQ(0xEE, shortSense[4]);
}

TEST(SimUnitSense, BadFieldsAndShortCdbsAreInvalidFieldInCdb)
{
    SimUnit unit;
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, {0x1B, 0, 0, 0, 0x10, 0})));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendNoData(unit, {0x3B, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_INVALID_OPCODE, SenseOf(SendNoData(unit, {})));
    Bytes data(4);
    // TEST UNIT READY with a data phase.
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, {0x00, 0, 0, 0, 0, 0}, SimDirection::In, data)));
}

TEST(SimUnitReadiness, TestUnitReadyFollowsTheMediumThatStartStopEjectsAndLoads)
{
    SimUnit unit;
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x00, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x1B, 0, 0, 0, 0x02, 0})));  // eject
    EXPECT_EQ(SENSE_MEDIUM_NOT_PRESENT, SenseOf(SendNoData(unit, {0x00, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x1B, 0, 0, 0, 0x01, 0})));  // start alone loads nothing
    EXPECT_EQ(SENSE_MEDIUM_NOT_PRESENT, SenseOf(SendNoData(unit, {0x00, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x1B, 0, 0, 0, 0x03, 0})));  // load
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x00, 0, 0, 0, 0, 0})));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, {0x01, 0, 0, 0, 0, 0})));  // rezero
}

TEST(SimUnitRecord, EveryCommandIsRecordedWithItsDataBothWays)
{
    SimUnit unit;
    Bytes inquiry(36);
    Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::In, inquiry);
    Bytes header = {0, 0, 0x80, 0, 1, 2, 3, 4};
    Send(unit, WriteBufferCdb(0, 1, 0, 8), SimDirection::Out, header);
    SendNoData(unit, {0xC7, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11});

    const std::vector<SimCommand>& commands = unit.Commands();
    ASSERT_EQ(3u, commands.size());
    EXPECT_EQ(Bytes({0x12, 0, 0, 0, 36, 0}), commands[0].cdb);
    EXPECT_EQ(SimDirection::In, commands[0].direction);
    EXPECT_EQ(36u, commands[0].length);
    EXPECT_EQ(inquiry, commands[0].dataIn);
    EXPECT_TRUE(commands[0].dataOut.empty());
    EXPECT_EQ(SimDirection::Out, commands[1].direction);
    EXPECT_EQ(header, commands[1].dataOut);
    EXPECT_EQ(12u, commands[2].cdb.size());
    EXPECT_EQ(2, commands[2].result.scsiStatus);
    EXPECT_EQ(0x20, commands[2].result.sense[12]);

    unit.ClearCommands();
    EXPECT_TRUE(unit.Commands().empty());
}

}  // namespace
