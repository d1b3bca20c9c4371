// Fault injection: chosen sense on the nth command, UNIT ATTENTION once, leaving the system, answers
// a careless transport would trip over (no sense, short sense, short data), and answers played in the
// unit's place.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/sim/sim_unit_driver.h"

namespace {

const Bytes TUR = {0x00, 0, 0, 0, 0, 0};
const Bytes INQUIRY = {0x12, 0, 0, 0, 36, 0};

TEST(SimUnitFaults, ChosenSenseHitsExactlyTheNthCommandWhichIsNotCarriedOut)
{
    SimUnit unit;
    unit.FailCommandWithSense(2, 0x03, 0x11, 0x00);
    Bytes block(512, 0xAB);
    const Bytes write = {0x2A, 0, 0, 0, 0, 5, 0, 0, 1, 0};
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));
    EXPECT_EQ((SenseCode{0x03, 0x11, 0x00}), SenseOf(Send(unit, write, SimDirection::Out, block)));
    EXPECT_EQ(0x00, unit.Card()[5 * 512]);  // not written
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, write, SimDirection::Out, block)));
    EXPECT_EQ(0xAB, unit.Card()[5 * 512]);

    Bytes sense(18);
    unit.FailCommandWithSense(1, 0x04, 0x44, 0x01);
    SendNoData(unit, TUR);
    Send(unit, {0x03, 0, 0, 0, 18, 0}, SimDirection::In, sense);
    EXPECT_EQ(0x04, sense[2]);
    EXPECT_EQ(0x44, sense[12]);
    EXPECT_EQ(0x01, sense[13]);
}

TEST(SimUnitFaults, SeveralInjectionsAreCountedFromWhenTheyWereMade)
{
    SimUnit unit;
    SendNoData(unit, TUR);
    unit.FailCommandWithSense(3, 0x02, 0x04, 0x01);
    unit.FailCommandWithSense(1, 0x02, 0x04, 0x02);
    EXPECT_EQ((SenseCode{0x02, 0x04, 0x02}), SenseOf(SendNoData(unit, TUR)));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));
    EXPECT_EQ((SenseCode{0x02, 0x04, 0x01}), SenseOf(SendNoData(unit, TUR)));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));
}

TEST(SimUnitFaults, UnitAttentionOnceHitsTheNextCommandOnly)
{
    SimUnit unit;
    unit.UnitAttentionOnce();
    Bytes inquiry(36, 0xEE);
    const SimResult first = Send(unit, INQUIRY, SimDirection::In, inquiry);
    EXPECT_EQ((SenseCode{0x06, 0x29, 0x00}), SenseOf(first));
    EXPECT_EQ(0u, first.transferred);
    EXPECT_EQ(0xEE, inquiry[8]);
    EXPECT_EQ(SENSE_GOOD, SenseOf(Send(unit, INQUIRY, SimDirection::In, inquiry)));

    unit.UnitAttentionOnce(0x28, 0x00);
    EXPECT_EQ((SenseCode{0x06, 0x28, 0x00}), SenseOf(SendNoData(unit, TUR)));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));
}

TEST(SimUnitFaults, UnplugAfterLetsThatManyCommandsThroughThenLeaves)
{
    SimUnit unit;
    unit.UnplugAfter(2);
    EXPECT_FALSE(SendNoData(unit, TUR).deviceGone);
    EXPECT_TRUE(unit.Present());
    EXPECT_FALSE(SendNoData(unit, TUR).deviceGone);
    EXPECT_FALSE(unit.Present());
    EXPECT_FALSE(unit.Restarting());  // unplugged, not restarting after a save
    const SimResult gone = SendNoData(unit, TUR);
    EXPECT_TRUE(gone.deviceGone);
    EXPECT_EQ(0, gone.scsiStatus);
    EXPECT_TRUE(gone.sense.empty());
    EXPECT_EQ(2u, unit.Commands().size());
    EXPECT_EQ(1u, unit.CommandsWhileAbsent());

    unit.Replug();
    EXPECT_TRUE(unit.Present());
    EXPECT_FALSE(SendNoData(unit, TUR).deviceGone);
    unit.UnplugAfter(0);
    EXPECT_FALSE(unit.Present());
}

TEST(SimUnitFaults, UnplugKeepsFirmwareAndReplugBringsTheUnitBack)
{
    SimUnitConfig config;
    config.revision = "2.05";
    SimUnit unit(config);
    unit.Unplug();
    EXPECT_FALSE(unit.Present());
    EXPECT_TRUE(SendNoData(unit, TUR).deviceGone);
    unit.Replug();
    EXPECT_TRUE(unit.Present());
    EXPECT_EQ("2.05", RevisionOf(unit));
}

TEST(SimUnitFaults, RawSenseIsDeliveredExactlyAsGiven)
{
    SimUnit unit;
    unit.FailCommandWithRawSense(1, {});
    unit.FailCommandWithRawSense(2, {0x70, 0x00, 0x05});
    unit.FailCommandWithRawSense(3, {0x72, 0x05, 0x24, 0x00, 0, 0, 0, 0});
    Bytes inquiry(36, 0xEE);
    SimResult result = Send(unit, INQUIRY, SimDirection::In, inquiry);
    EXPECT_EQ(2, result.scsiStatus);
    EXPECT_TRUE(result.sense.empty());
    EXPECT_EQ(0u, result.transferred);
    result = SendNoData(unit, TUR);
    EXPECT_EQ(Bytes({0x70, 0x00, 0x05}), result.sense);
    result = SendNoData(unit, TUR);
    EXPECT_EQ(0x72, result.sense[0]);
    EXPECT_EQ(8u, result.sense.size());
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));
}

TEST(SimUnitFaults, ShortenedDataInLeavesTheRestOfTheBufferAlone)
{
    SimUnit unit;
    unit.ShortenDataIn(1, 10);
    Bytes inquiry(36, 0xEE);
    const SimResult result = Send(unit, INQUIRY, SimDirection::In, inquiry);
    EXPECT_EQ(SENSE_GOOD, SenseOf(result));
    EXPECT_EQ(10u, result.transferred);
    const Bytes expected = unit.InquiryData();
    EXPECT_EQ(Bytes(expected.begin(), expected.begin() + 10), Bytes(inquiry.begin(), inquiry.begin() + 10));
    EXPECT_EQ(Bytes(26, 0xEE), Bytes(inquiry.begin() + 10, inquiry.end()));
    EXPECT_EQ(10u, unit.Commands().back().dataIn.size());
}

TEST(SimUnitFaults, AfterTheSaveNothingMoreIsReceivedUntilThePowerCycle)
{
    SimUnitConfig config;
    config.revision = "1.10";
    SimUnit unit(config);
    Bytes image(0x2100, 0);
    std::memcpy(&image[0x2000], "VORNA   QZV-57", 14);
    std::memcpy(&image[0x2018], "1.20", 4);
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendOldDownload(unit, image)));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(SendNoData(unit, TUR).deviceGone);
    }
    EXPECT_EQ(3u, unit.CommandsWhileAbsent());
    EXPECT_EQ(0x3B, unit.Commands().back().cdb[0]);
    unit.PowerCycle();
    EXPECT_EQ("1.20", RevisionOf(unit));
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));
}

TEST(SimUnitFaults, PlayedAnswersStandInForTheUnitWhichDoesNothing)
{
    SimUnitConfig config;
    config.revision = "1.10";
    SimUnit unit(config);
    std::vector<Bytes> offered;
    unit.PlayAnswers([&](const SimCommand& command) {
        offered.push_back(command.cdb);
        SimPlayedAnswer answer;
        answer.own = command.cdb[0] != 0x12 && command.cdb[0] != 0x3B;
        answer.scsiStatus = 0x08;
        answer.sense = {0x70, 0, 0x02};
        answer.dataIn = {1, 2, 3};
        answer.outTransferred = 0x1000;
        answer.leave = command.cdb[0] == 0x3B;
        return answer;
    });
    Bytes inquiry(36, 0xEE);
    SimResult result = Send(unit, INQUIRY, SimDirection::In, inquiry);
    EXPECT_EQ(0x08, result.scsiStatus);
    EXPECT_EQ(Bytes({0x70, 0, 0x02}), result.sense);
    EXPECT_EQ(3u, result.transferred);
    EXPECT_EQ(Bytes({1, 2, 3, 0xEE}), Bytes(inquiry.begin(), inquiry.begin() + 4));
    EXPECT_EQ(Bytes({1, 2, 3}), unit.Commands().back().dataIn);
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendNoData(unit, TUR)));

    // A played download is not carried out: the unit keeps its firmware, but leaves as told.
    Bytes image(0x2100, 0);
    std::memcpy(&image[0x2000], "VORNA   QZV-57", 14);
    std::memcpy(&image[0x2018], "1.20", 4);
    result = SendOldDownload(unit, image);
    EXPECT_EQ(0x1000u, result.transferred);
    EXPECT_FALSE(unit.Present());
    EXPECT_TRUE(unit.SavedImage().empty());
    EXPECT_EQ(3u, offered.size());
    unit.PowerCycle();
    EXPECT_EQ("1.10", RevisionOf(unit));

    unit.PlayAnswers(nullptr);
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendOldDownload(unit, image)));
    EXPECT_EQ(3u, offered.size());
}

}  // namespace
