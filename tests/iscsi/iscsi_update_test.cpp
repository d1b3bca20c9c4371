// A whole firmware update over iSCSI, for both layouts, under every way a login can settle how data
// goes out (immediate data, unsolicited Data-Out, R2T; bursts and segments large and small; bytes
// arriving one at a time), and then the unit's restart as an initiator sees it: the session closes
// after the save's status, logins are refused for the restart time, and the unit comes back with
// its new revision.
#include <gtest/gtest.h>

#include "sim/unit/sample_image.h"
#include "tests/iscsi/test_initiator.h"
#include "tests/sim/sim_unit_driver.h"

namespace {

struct DataOutWay {
    const char* name;
    std::vector<std::string> keys;
    uint32_t segment;  // the initiator's Data-Out segments (at most what the target takes)
    size_t chunk;      // bytes per delivery, as TCP may split them
};

const DataOutWay WAYS[] = {
    {"immediate data, then R2T", {"InitialR2T=Yes", "ImmediateData=Yes"}, 65536, SIZE_MAX},
    {"unsolicited Data-Out as offered by QEMU",
     {"InitialR2T=No", "ImmediateData=Yes", "FirstBurstLength=262144", "MaxBurstLength=262144",
      "MaxRecvDataSegmentLength=262144"},
     65536, SIZE_MAX},
    {"R2T only", {"InitialR2T=Yes", "ImmediateData=No"}, 65536, SIZE_MAX},
    {"unsolicited Data-Out without immediate data", {"InitialR2T=No", "ImmediateData=No"}, 8192, SIZE_MAX},
    {"small bursts and segments",
     {"InitialR2T=No", "ImmediateData=Yes", "FirstBurstLength=512", "MaxBurstLength=4096"}, 1000, SIZE_MAX},
    {"bytes arriving a few at a time", {"InitialR2T=Yes", "ImmediateData=Yes", "MaxBurstLength=16384"}, 4096, 7},
};

constexpr uint32_t RESTART_MS = 3000;

std::string Revision(TestInitiator& initiator)
{
    const CommandOutcome inquiry = initiator.Command({0x12, 0, 0, 0, 36, 0}, 'r', 36);
    EXPECT_EQ(0, inquiry.status);
    return inquiry.dataIn.size() == 36 ? std::string(inquiry.dataIn.begin() + 32, inquiry.dataIn.end()) : "";
}

SimResult Carried(const CommandOutcome& outcome)
{
    SimResult result;
    result.scsiStatus = outcome.answered ? outcome.status : 0xFF;
    return result;
}

void ExpectEvent(std::vector<IscsiEvent>& events, IscsiEventKind kind, const std::string& detail)
{
    bool found = false;
    for (const IscsiEvent& event : events)
        found = found || (event.kind == kind && event.detail == detail);
    EXPECT_TRUE(found) << "event " << int(kind) << " " << detail;
}

struct Layout {
    const char* product;
    const char* revision;
    const char* after;
};

void UpdateOver(const DataOutWay& way, const Layout& layout)
{
    SCOPED_TRACE(std::string(way.name) + ", " + layout.product + " " + layout.revision);
    SimUnitConfig config;
    config.product = layout.product;
    config.revision = layout.revision;
    SimUnit unit(config);
    IscsiPortal portal({{&unit, RESTART_MS}});
    portal.Advance(1000);
    const std::string target = portal.TargetName(0);

    Bytes image;
    std::vector<SimResult> results;
    {
        TestInitiator initiator(portal);
        ASSERT_EQ(0, initiator.Login(target, way.keys));
        initiator.targetSegment = std::min(initiator.targetSegment, way.segment);
        EXPECT_EQ(layout.revision, Revision(initiator));
        auto send = [&](const Bytes& cdb, const uint8_t* data, uint32_t length) {
            return Carried(initiator.Command(cdb, 'w', length, Bytes(data, data + length), way.chunk));
        };
        if (std::string(layout.revision) < "1.99") {
            image = SampleOldImage(layout.after, 0x8000);
            const uint32_t n = static_cast<uint32_t>(image.size());
            results.push_back(send(WriteBufferCdb(0, 0, 0, n >> 8, uint8_t(n)), image.data(), n));
        } else {
            image = SampleNewImage({layout.after, "2.11", "2.12", "2.13"}, 0x2A346);
            results = SendNewDownloadWith(send, image, SampleNewImageHeader(image));
        }
        for (const SimResult& result : results)
            EXPECT_EQ(0, result.scsiStatus);
        // The save's status came; then the unit left and took the session with it.
        EXPECT_TRUE(initiator.Closed());
    }
    EXPECT_EQ(image, unit.SavedImage());
    std::vector<IscsiEvent> events = portal.TakeEvents();
    ExpectEvent(events, IscsiEventKind::LEAVING, std::to_string(RESTART_MS));
    ExpectEvent(events, IscsiEventKind::LOGOUT, "unit-left");
    size_t received = 0;
    for (const IscsiEvent& event : events)
        received += event.kind == IscsiEventKind::COMMAND && event.unitReceived;
    EXPECT_EQ(1 + results.size(), received);  // INQUIRY and the download, nothing else

    portal.Advance(1000 + RESTART_MS - 1);
    {
        TestInitiator initiator(portal);
        EXPECT_EQ(ISCSI_LOGIN_SERVICE_UNAVAILABLE, initiator.Login(target));
        EXPECT_TRUE(initiator.Closed());
    }
    portal.Advance(1000 + RESTART_MS);
    events = portal.TakeEvents();
    ExpectEvent(events, IscsiEventKind::LOGIN_REFUSED, "0301");
    ExpectEvent(events, IscsiEventKind::BACK, layout.after);
    TestInitiator initiator(portal);
    ASSERT_EQ(0, initiator.Login(target));
    EXPECT_EQ(layout.after, Revision(initiator));
}

TEST(IscsiUpdate, BothLayoutsEveryWayDataGoesOut)
{
    for (const DataOutWay& way : WAYS) {
        UpdateOver(way, {"QZV-57H", "1.99", "2.10"});
        UpdateOver(way, {"QZV-57G", "1.50", "1.60"});
    }
}

TEST(IscsiUpdate, RefusedPieceSavesNothingAndTheUnitStays)
{
    SimUnit unit;
    IscsiPortal portal({{&unit, RESTART_MS}});
    TestInitiator initiator(portal);
    ASSERT_EQ(0, initiator.Login(portal.TargetName(0)));
    Bytes image = SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x12346);
    image[0x100] ^= 1;  // the header's CRC no longer matches
    const std::vector<SimResult> results = SendNewDownloadWith(
        [&](const Bytes& cdb, const uint8_t* data, uint32_t length) {
            const CommandOutcome outcome = initiator.Command(cdb, 'w', length, Bytes(data, data + length));
            // CHECK CONDITION comes in a SCSI Response with the unit's sense.
            if (outcome.status == 2) {
                EXPECT_EQ(18u, outcome.sense.size());
                EXPECT_EQ(0x05, outcome.sense[2] & 0x0F);
            }
            return Carried(outcome);
        },
        SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x12346), SampleNewImageHeader(image));
    EXPECT_EQ(2, results.back().scsiStatus);
    EXPECT_TRUE(unit.SavedImage().empty());
    EXPECT_TRUE(unit.Present());
    EXPECT_FALSE(initiator.Closed());
    EXPECT_EQ("1.99", Revision(initiator));
}

}  // namespace
