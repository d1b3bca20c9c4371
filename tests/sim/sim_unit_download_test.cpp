// Both download protocols as the unit receives them: good sequences are saved and the unit leaves
// the system; corrupted, out-of-order or wrongly shaped ones are refused and nothing is saved.
#include <gtest/gtest.h>

#include "sim/unit/sample_image.h"
#include "tests/sim/sim_unit_driver.h"

namespace {

SimUnitConfig Unit(const char* revision, uint32_t configuration = 0)
{
    SimUnitConfig config;
    config.revision = revision;
    config.configuration = configuration;
    return config;
}

const std::array<std::string, 4> SLOTS = {"2.00", "2.01", "2.02", "2.03"};

TEST(SimUnitOldDownload, WholeImageIsSavedAndTheUnitComesBackWithItsVersion)
{
    SimUnit unit(Unit("1.50"));
    const Bytes image = SampleOldImage("1.60", 0x10000);
    const SimResult result = SendOldDownload(unit, image);
    EXPECT_EQ(SENSE_GOOD, SenseOf(result));
    EXPECT_EQ(0x10000u, result.transferred);
    EXPECT_EQ(Bytes({0x3B, 0, 0, 0, 0, 0, 0x00, 0x01, 0x00, 0x00}), unit.Commands().back().cdb);

    EXPECT_FALSE(unit.Present());
    EXPECT_TRUE(unit.Restarting());
    Bytes inquiry(36);
    const SimResult gone = Send(unit, {0x12, 0, 0, 0, 36, 0}, SimDirection::In, inquiry);
    EXPECT_TRUE(gone.deviceGone);
    EXPECT_EQ(0u, gone.transferred);
    EXPECT_EQ(1u, unit.CommandsWhileAbsent());
    EXPECT_EQ(1u, unit.Commands().size());

    EXPECT_EQ("1.50", RevisionOf(unit));
    unit.PowerCycle();
    EXPECT_TRUE(unit.Present());
    EXPECT_FALSE(unit.Restarting());
    EXPECT_EQ("1.60", RevisionOf(unit));
    EXPECT_EQ("1.60", unit.Config().revision);
    EXPECT_EQ(image, unit.SavedImage());
}

TEST(SimUnitOldDownload, ImageWithoutIdentificationIsRefused)
{
    SimUnit unit(Unit("1.50"));
    Bytes image = SampleOldImage("1.60", 0x8000);
    image[0x2008] = 'X';  // "QZV-57" stem broken
    EXPECT_EQ(SENSE_INVALID_PARAMETER_DATA, SenseOf(SendOldDownload(unit, image)));
    // Too short to hold the identification at all.
    EXPECT_EQ(SENSE_INVALID_PARAMETER_DATA, SenseOf(SendOldDownload(unit, Bytes(0x2000, 0))));
    EXPECT_TRUE(unit.Present());
    EXPECT_TRUE(unit.SavedImage().empty());
    unit.PowerCycle();
    EXPECT_EQ("1.50", RevisionOf(unit));
}

TEST(SimUnitOldDownload, WronglyShapedCommandsAreIllegalRequests)
{
    SimUnit unit(Unit("1.98"));
    const Bytes image = SampleOldImage("1.99", 0x8000);
    // Odd length, too long, transfer length not matching the data, mode 5, buffer 1, an offset.
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 0, 0, 0x7F, 0xFF), image.data(), 0x7FFF)));
    Bytes big(0x10002, 0);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOldDownload(unit, big)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 0, 0, 0x80, 0), image.data(), 0x7000)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(5, 0, 0, 0x80, 0), image.data(), 0x8000)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 0, 0, 8), image.data(), 8)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 0, 2, 0x80, 0), image.data(), 0x8000)));
    EXPECT_TRUE(unit.Present());
    // The right command still works afterwards.
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendOldDownload(unit, image)));
    EXPECT_FALSE(unit.Present());
}

TEST(SimUnitOldDownload, NewGenerationUnitRefusesTheOldCommand)
{
    SimUnit unit(Unit("1.99"));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOldDownload(unit, SampleOldImage("2.00", 0x8000))));
    EXPECT_TRUE(unit.Present());
}

struct NewCase {
    uint32_t length;
    size_t commands;
};

class SimUnitNewDownload : public ::testing::TestWithParam<NewCase> {};

TEST_P(SimUnitNewDownload, GoodSequenceIsSavedAndTheSlotOfTheConfigurationIsShown)
{
    const NewCase c = GetParam();
    SimUnit unit(Unit("1.99", 0x00004000));  // slot 2
    const Bytes image = SampleNewImage(SLOTS, c.length);
    const std::vector<SimResult> results = SendNewDownload(unit, Evened(image), SampleNewImageHeader(image));
    ASSERT_EQ(c.commands, results.size());
    for (const SimResult& result : results) {
        EXPECT_EQ(SENSE_GOOD, SenseOf(result));
    }
    EXPECT_FALSE(unit.Present());
    EXPECT_EQ(image, unit.SavedImage());
    unit.PowerCycle();
    EXPECT_EQ("2.02", RevisionOf(unit));
}

INSTANTIATE_TEST_SUITE_P(Lengths, SimUnitNewDownload,
                         ::testing::Values(NewCase{0x30000, 4}, NewCase{0x2FFFF, 4}, NewCase{0x20001, 4},
                                           NewCase{0x20000, 3}, NewCase{0x12345, 3}, NewCase{0x10000, 2},
                                           NewCase{0x20BC, 2}));

TEST(SimUnitNewDownloadSlots, RevisionAfterPowerCycleFollowsBits13And14)
{
    const Bytes image = SampleNewImage(SLOTS, 0x9000);
    const struct {
        uint32_t configuration;
        const char* revision;
    } cases[] = {{0x00000000, "2.00"}, {0x00002000, "2.01"}, {0x00004000, "2.02"}, {0x00006000, "2.03"},
                 {0xFFFF9FFF, "2.00"}, {0x12345678, "2.02"}, {0x00001FFF, "2.00"}, {0x00008000, "2.00"}};
    for (const auto& c : cases) {
        SimUnit unit(Unit("2.10", c.configuration));
        SendNewDownload(unit, image, SampleNewImageHeader(image));
        unit.PowerCycle();
        EXPECT_EQ(c.revision, RevisionOf(unit)) << std::hex << c.configuration;
    }
}

TEST(SimUnitNewDownloadSlots, ConfigurationChangedBeforeTheRestartPicksTheNewSlot)
{
    SimUnit unit(Unit("1.99", 0));
    const Bytes image = SampleNewImage(SLOTS, 0x9000);
    SendNewDownload(unit, image, SampleNewImageHeader(image));
    unit.SetConfiguration(0x6000);
    unit.PowerCycle();
    EXPECT_EQ("2.03", RevisionOf(unit));
}

// Runs a sequence that must fail at its last command with `expected`; nothing may be saved.
void ExpectRefused(SimUnit& unit, const std::vector<SimResult>& results, SenseCode expected)
{
    ASSERT_FALSE(results.empty());
    for (size_t i = 0; i + 1 < results.size(); ++i) {
        EXPECT_EQ(SENSE_GOOD, SenseOf(results[i])) << "command " << i;
    }
    EXPECT_EQ(expected, SenseOf(results.back()));
    EXPECT_TRUE(unit.Present());
    EXPECT_TRUE(unit.SavedImage().empty());
    unit.PowerCycle();
    EXPECT_EQ("1.99", RevisionOf(unit));
}

TEST(SimUnitNewDownloadChecks, CorruptedCrcInTheHeaderIsRefusedAtTheSave)
{
    SimUnit unit(Unit("1.99"));
    const Bytes image = SampleNewImage(SLOTS, 0x30000);
    Bytes header = SampleNewImageHeader(image);
    header[7] ^= 0x01;
    const std::vector<SimResult> results = SendNewDownload(unit, image, header);
    EXPECT_EQ(4u, results.size());
    ExpectRefused(unit, results, SENSE_CRC_MISMATCH);
}

TEST(SimUnitNewDownloadChecks, CorruptedImageByteIsRefusedAtTheSave)
{
    for (uint32_t position : {0u, 0x2000u, 0x10000u, 0x2FFFFu}) {
        SimUnit unit(Unit("1.99"));
        const Bytes image = SampleNewImage(SLOTS, 0x30000);
        Bytes sent = image;
        sent[position] ^= 0x80;
        const SenseCode expected = position == 0x2000 ? SENSE_INVALID_PARAMETER_DATA : SENSE_CRC_MISMATCH;
        ExpectRefused(unit, SendNewDownload(unit, sent, SampleNewImageHeader(image)), expected);
    }
}

TEST(SimUnitNewDownloadChecks, HeaderLengthNotMatchingTheImageIsRefused)
{
    SimUnit unit(Unit("1.99"));
    const Bytes image = SampleNewImage(SLOTS, 0x12344);
    // The header announces two bytes more than the image's own length field; the pieces follow the
    // header, so the transfer itself is well formed.
    Bytes header = SampleNewImageHeader(image);
    header[3] += 2;
    Bytes longer = image;
    longer.resize(0x12346, 0);
    ExpectRefused(unit, SendNewDownload(unit, longer, header), SENSE_INVALID_PARAMETER_DATA);
}

TEST(SimUnitNewDownloadChecks, HeaderWithImpossibleLengthIsRefusedAtOnce)
{
    for (uint32_t length : {0u, 0x20BBu, 0x30001u}) {
        SimUnit unit(Unit("1.99"));
        const Bytes header = {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), 0, 0, 0, 0};
        EXPECT_EQ(SENSE_INVALID_PARAMETER_DATA, SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 0, 8), header.data(), 8)));
        // Nothing is staged: a piece now is out of order.
        const Bytes piece(0x10000, 0);
        EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(5, 0, 0, 0x10000), piece.data(), 0x10000)));
    }
}

TEST(SimUnitNewDownloadOrder, PiecesOutOfOrderEndTheStaging)
{
    SimUnit unit(Unit("1.99"));
    const Bytes image = SampleNewImage(SLOTS, 0x30000);
    const Bytes header = SampleNewImageHeader(image);
    EXPECT_EQ(SENSE_GOOD, SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 0, 8), header.data(), 8)));
    // Second piece before the third.
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB,
              SenseOf(SendOut(unit, WriteBufferCdb(0, 0, 0x10000, 0x10000), image.data() + 0x10000, 0x10000)));
    // The staging is gone: even the right order now fails until a new header comes.
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB,
              SenseOf(SendOut(unit, WriteBufferCdb(0, 0, 0x20000, 0x10000), image.data() + 0x20000, 0x10000)));
    EXPECT_TRUE(unit.Present());
    const std::vector<SimResult> results = SendNewDownload(unit, image, header);
    EXPECT_EQ(SENSE_GOOD, SenseOf(results.back()));
    EXPECT_FALSE(unit.Present());
}

TEST(SimUnitNewDownloadOrder, EveryDeviationFromTheSequenceIsAnIllegalRequest)
{
    const Bytes image = SampleNewImage(SLOTS, 0x12345);
    const Bytes sent = Evened(image);
    const Bytes header = SampleNewImageHeader(image);
    const Bytes second(sent.begin() + 0x10000, sent.end());  // 0x2346 bytes
    struct Deviation {
        const char* what;
        Bytes cdb;
        uint32_t length;
    } deviations[] = {
        {"save before the second piece", WriteBufferCdb(5, 0, 0, 0x10000), 0x10000},
        {"second piece one byte short", WriteBufferCdb(0, 0, 0x10000, 0x2345), 0x2345},
        {"second piece with data length not matching", WriteBufferCdb(0, 0, 0x10000, 0x2346), 0x2344},
        {"second piece in mode 5", WriteBufferCdb(5, 0, 0x10000, 0x2346), 0x2346},
        {"second piece at offset 0x20000", WriteBufferCdb(0, 0, 0x20000, 0x2346), 0x2346},
        {"second piece to buffer 2", WriteBufferCdb(0, 2, 0x10000, 0x2346), 0x2346},
        {"second piece with byte 9 set", WriteBufferCdb(0, 0, 0x10000, 0x2346, 1), 0x2346},
        {"second piece with reserved bits", WriteBufferCdb(0x20, 0, 0x10000, 0x2346), 0x2346},
    };
    for (const Deviation& d : deviations) {
        SimUnit unit(Unit("1.99"));
        EXPECT_EQ(SENSE_GOOD, SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 0, 8), header.data(), 8)));
        Bytes data(d.length, 0x5A);
        EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, d.cdb, SimDirection::Out, data))) << d.what;
        EXPECT_TRUE(unit.Present()) << d.what;
    }
}

TEST(SimUnitNewDownloadOrder, MalformedHeaderCommandsAndPiecesWithoutHeaderAreRefused)
{
    SimUnit unit(Unit("1.99"));
    const Bytes image = SampleNewImage(SLOTS, 0x8000);
    Bytes header = SampleNewImageHeader(image);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(5, 0, 0, 0x8000), image.data(), 0x8000)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 0, 9), header.data(), 8)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 4, 8), header.data(), 8)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(5, 1, 0, 8), header.data(), 8)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(Send(unit, WriteBufferCdb(0, 1, 0, 8), SimDirection::In, header)));
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB, SenseOf(SendOut(unit, WriteBufferCdb(0, 0, 0, 0, 8), image.data(), 8)));
    EXPECT_TRUE(unit.Present());
}

TEST(SimUnitNewDownloadOrder, NewHeaderRestartsAnUnfinishedDownload)
{
    SimUnit unit(Unit("1.99", 0x2000));
    const Bytes first = SampleNewImage({"3.00", "3.01", "3.02", "3.03"}, 0x30000, 7);
    SendOut(unit, WriteBufferCdb(0, 1, 0, 8), SampleNewImageHeader(first).data(), 8);
    SendOut(unit, WriteBufferCdb(0, 0, 0x20000, 0x10000), first.data() + 0x20000, 0x10000);
    const Bytes second = SampleNewImage(SLOTS, 0x9000);
    const std::vector<SimResult> results = SendNewDownload(unit, second, SampleNewImageHeader(second));
    EXPECT_EQ(SENSE_GOOD, SenseOf(results.back()));
    unit.PowerCycle();
    EXPECT_EQ("2.01", RevisionOf(unit));
}

TEST(SimUnitNewDownloadOrder, OldGenerationUnitRefusesTheHeader)
{
    SimUnit unit(Unit("1.98"));
    const Bytes image = SampleNewImage(SLOTS, 0x8000);
    EXPECT_EQ(SENSE_INVALID_FIELD_IN_CDB,
              SenseOf(SendOut(unit, WriteBufferCdb(0, 1, 0, 8), SampleNewImageHeader(image).data(), 8)));
}

}  // namespace
