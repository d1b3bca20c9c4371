// SCSI commands over a session: Data-In under every segment and burst length, statuses with sense,
// what the target answers itself, task management, NOP-Out, logout, and PDUs a target must refuse.
#include <gtest/gtest.h>

#include "tests/iscsi/test_initiator.h"

namespace {

const Bytes INQUIRY_36 = {0x12, 0, 0, 0, 36, 0};
const Bytes TEST_UNIT_READY = {0, 0, 0, 0, 0, 0};

struct Session {
    explicit Session(std::vector<std::string> keys = {}, uint32_t restartMs = 0)
        : portal({{&unit, restartMs}}), initiator(portal)
    {
        EXPECT_EQ(0, initiator.Login(portal.TargetName(0), keys));
        portal.TakeEvents();
    }
    SimUnit unit;
    IscsiPortal portal;
    TestInitiator initiator;
};

Bytes Read10(uint32_t lba, uint16_t blocks)
{
    return {0x28, 0, uint8_t(lba >> 24), uint8_t(lba >> 16), uint8_t(lba >> 8), uint8_t(lba), 0,
            uint8_t(blocks >> 8), uint8_t(blocks), 0};
}

std::vector<std::string> CommandLines(IscsiPortal& portal, bool unitReceived)
{
    std::vector<std::string> lines;
    for (const IscsiEvent& event : portal.TakeEvents()) {
        if (event.kind == IscsiEventKind::COMMAND && event.unitReceived == unitReceived)
            lines.push_back(event.detail.substr(0, event.detail.find(" |")));
    }
    return lines;
}

TEST(IscsiCommands, DataInUnderEverySegmentAndBurstLength)
{
    for (uint32_t segment : {512u, 8192u, 262144u}) {
        for (uint32_t burst : {512u, 4096u, 262144u}) {
            SCOPED_TRACE("segment " + std::to_string(segment) + ", burst " + std::to_string(burst));
            Session s({"MaxRecvDataSegmentLength=" + std::to_string(segment),
                       "MaxBurstLength=" + std::to_string(burst)});
            for (size_t i = 0; i < s.unit.Card().size(); ++i)
                s.unit.Card()[i] = static_cast<uint8_t>(i * 7 + (i >> 9));
            const uint32_t blocks = 2048;  // the whole card, as large as a command can be
            const CommandOutcome read = s.initiator.Command(Read10(0, blocks), 'r', blocks * 512);
            ASSERT_TRUE(read.answered);
            EXPECT_EQ(0, read.status);
            EXPECT_FALSE(read.underflow);
            EXPECT_TRUE(read.dataIn == s.unit.Card());
            // DataSN counts from 0, offsets follow each other, a sequence ends at each burst, and
            // only the last PDU carries the status (and takes a StatSN).
            uint32_t offset = 0;
            for (size_t n = 0; n < read.pdus.size(); ++n) {
                const Pdu& pdu = read.pdus[n];
                ASSERT_EQ(0x25, pdu.Opcode());
                EXPECT_EQ(n, pdu.Field(36));
                EXPECT_EQ(offset, pdu.Field(40));
                offset += static_cast<uint32_t>(pdu.data.size());
                EXPECT_LE(pdu.data.size(), std::min(segment, 65536u));
                const bool last = n + 1 == read.pdus.size();
                EXPECT_EQ(last || offset % burst == 0, (pdu.Flags() & 0x80) != 0) << n;
                EXPECT_EQ(last, (pdu.Flags() & 0x01) != 0) << n;
            }
        }
    }
}

TEST(IscsiCommands, ShortDataSenseAndStatusOnTheirPdus)
{
    Session s;
    // INQUIRY for 64 bytes: the unit has 36, the rest is an underflow in the Data-In with the status.
    const CommandOutcome inquiry = s.initiator.Command({0x12, 0, 0, 0, 64, 0}, 'r', 64);
    ASSERT_EQ(1u, inquiry.pdus.size());
    EXPECT_EQ(0x80 | 0x02 | 0x01, inquiry.pdus[0].Flags());
    EXPECT_EQ(28u, inquiry.residual);
    EXPECT_EQ(s.unit.InquiryData(), inquiry.dataIn);

    // A CHECK CONDITION comes in a SCSI Response with the sense, not in a Data-In.
    s.unit.FailCommandWithSense(1, 0x04, 0x44, 0x00);
    const CommandOutcome failed = s.initiator.Command(INQUIRY_36, 'r', 36);
    ASSERT_EQ(1u, failed.pdus.size());
    EXPECT_EQ(0x21, failed.pdus[0].Opcode());
    EXPECT_EQ(2, failed.status);
    ASSERT_EQ(18u, failed.sense.size());
    EXPECT_EQ(0x04, failed.sense[2]);
    EXPECT_EQ(0x44, failed.sense[12]);
    EXPECT_TRUE(failed.underflow);
    EXPECT_EQ(36u, failed.residual);

    // Garbage sense as the unit gives it, cut to what sense may be.
    s.unit.FailCommandWithRawSense(1, Bytes(300, 0x71));
    const CommandOutcome raw = s.initiator.Command(TEST_UNIT_READY, 'n', 0);
    EXPECT_EQ(2, raw.status);
    EXPECT_EQ(252u, raw.sense.size());
    s.unit.FailCommandWithRawSense(1, Bytes());
    const CommandOutcome none = s.initiator.Command(TEST_UNIT_READY, 'n', 0);
    EXPECT_EQ(2, none.status);
    EXPECT_TRUE(none.pdus[0].data.empty());

    // Every CDB reaches the unit as the initiator sent it: all 16 bytes.
    const std::vector<std::string> lines = CommandLines(s.portal, true);
    ASSERT_EQ(4u, lines.size());
    EXPECT_EQ("12 00 00 00 40 00 00 00 00 00 00 00 00 00 00 00", lines[0]);
}

TEST(IscsiCommands, WhatTheTargetAnswersItself)
{
    Session s;
    const CommandOutcome luns = s.initiator.Command({0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 64, 0, 0}, 'r', 64);
    EXPECT_EQ(0, luns.status);
    EXPECT_EQ((Bytes{0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}), luns.dataIn);
    EXPECT_EQ(2, s.initiator.Command({0xA0, 0, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0}, 'r', 8).status);

    // READ CAPACITY(16) from the unit's READ CAPACITY(10): 2048 blocks of 512 bytes.
    const CommandOutcome capacity = s.initiator.Command({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 'r', 32);
    EXPECT_EQ(0, capacity.status);
    Bytes expected(32, 0);
    expected[6] = 0x07;
    expected[7] = 0xFF;
    expected[10] = 0x02;
    EXPECT_EQ(expected, capacity.dataIn);
    const CommandOutcome pages = s.initiator.Command({0x12, 1, 0, 0, 64, 0}, 'r', 64);
    EXPECT_EQ((Bytes{0, 0, 0, 1, 0}), pages.dataIn);
    // The unit itself still refuses other pages.
    EXPECT_EQ(2, s.initiator.Command({0x12, 1, 0x80, 0, 64, 0}, 'r', 64).status);
    EXPECT_EQ((std::vector<std::string>{"25 00 00 00 00 00 00 00 00 00", "12 01 80 00 40 00 00 00 00 00 00 00 00 00 00 00"}),
              CommandLines(s.portal, true));

    // Without a card, the unit's NOT READY reaches the initiator of READ CAPACITY(16) unchanged.
    s.initiator.Command({0x1B, 0, 0, 0, 0x02, 0}, 'n', 0);
    const CommandOutcome noCard = s.initiator.Command({0x9E, 0x10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 32, 0, 0}, 'r', 32);
    EXPECT_EQ(2, noCard.status);
    EXPECT_EQ(0x3A, noCard.sense[12]);

    // Another LUN: no logical unit there.
    Bytes header = s.initiator.CommandHeader(INQUIRY_36, 0xC0, 36);
    header[9] = 1;
    s.initiator.Feed(Encode(header));
    std::vector<Pdu> answers = s.initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x7F, answers[0].data[0]);
    header = s.initiator.CommandHeader(TEST_UNIT_READY, 0x80, 0);
    header[9] = 1;
    s.initiator.Feed(Encode(header));
    answers = s.initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(2, answers[0].header[3]);
    EXPECT_EQ(0x25, answers[0].data[2 + 12]);

    // More than the target can hold, or both directions: refused before any data moves.
    const CommandOutcome tooLarge = s.initiator.Command(Read10(0, 4096), 'r', 4096 * 512);
    EXPECT_EQ(2, tooLarge.status);
    EXPECT_EQ(0x24, tooLarge.sense[12]);
    s.portal.TakeEvents();
    const CommandOutcome tooLargeWrite = s.initiator.Command({0x2A, 0, 0, 0, 0, 0, 0, 8, 0, 0}, 'w', 4096 * 512,
                                                             Bytes(4096 * 512, 0x5A));
    EXPECT_EQ(2, tooLargeWrite.status);
    EXPECT_TRUE(CommandLines(s.portal, true).empty());
    EXPECT_EQ(0, s.initiator.Command(INQUIRY_36, 'r', 36).status);
}

TEST(IscsiCommands, TaskManagement)
{
    Session s({"InitialR2T=Yes", "ImmediateData=No"});
    auto taskManagement = [&](uint8_t function, uint32_t referenced, uint8_t lun = 0) {
        Bytes header = Header(0x42, 0x80 | function);
        header[9] = lun;
        Put32(header, 16, s.initiator.NextItt());
        Put32(header, 20, referenced);
        Put32(header, 24, s.initiator.CmdSn());
        s.initiator.Feed(Encode(header));
        const std::vector<Pdu> answers = s.initiator.Received();
        EXPECT_EQ(1u, answers.size());
        return answers.empty() ? 0xEE : answers[0].header[2];
    };

    // A write waits for its data (an R2T went out); ABORT TASK drops it, and its late data is ignored.
    Bytes header = s.initiator.CommandHeader({0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, 0xA0, 512);
    const uint32_t itt = uint32_t(header[18]) << 8 | header[19];
    s.initiator.Feed(Encode(header));
    std::vector<Pdu> answers = s.initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x31, answers[0].Opcode());
    EXPECT_EQ(s.initiator.CmdSn() - 1, answers[0].Field(32));  // the window is closed meanwhile
    EXPECT_EQ(0, taskManagement(1, itt));
    Bytes data = Header(0x05, 0x80);
    Put32(data, 16, itt);
    Put32(data, 20, answers[0].Field(20));
    s.initiator.Feed(Encode(data, Bytes(512, 0xAA)));
    EXPECT_TRUE(s.initiator.Received().empty());
    EXPECT_EQ(Bytes(512, 0), Bytes(s.unit.Card().begin(), s.unit.Card().begin() + 512));

    EXPECT_EQ(1, taskManagement(1, 0x4242));                 // no such task
    EXPECT_EQ(2, taskManagement(1, 0x4242, 3));              // no such LUN
    EXPECT_EQ(0, taskManagement(2, 0));                      // ABORT TASK SET
    EXPECT_EQ(5, taskManagement(3, 0));                      // CLEAR ACA: not supported
    EXPECT_EQ(0, taskManagement(5, 0));                      // LOGICAL UNIT RESET
    EXPECT_EQ(0, taskManagement(6, 0));                      // TARGET WARM RESET
    EXPECT_EQ(4, taskManagement(8, 0));                      // TASK REASSIGN: error recovery level 0
    EXPECT_EQ(255, taskManagement(0x55, 0));                 // no such function
    EXPECT_EQ(0, s.initiator.Command(INQUIRY_36, 'r', 36).status);
    EXPECT_EQ(0, taskManagement(7, 0));                      // TARGET COLD RESET: answered, then closed
    EXPECT_TRUE(s.initiator.Closed());
}

TEST(IscsiCommands, NopOutLogoutAndReinstatement)
{
    Session s;
    Bytes ping = Header(0x40, 0x80);
    Put32(ping, 16, 0x77);
    Put32(ping, 20, 0xFFFFFFFF);
    s.initiator.Feed(Encode(ping, Bytes{1, 2, 3, 4, 5}));
    std::vector<Pdu> answers = s.initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x20, answers[0].Opcode());
    EXPECT_EQ(0x77u, answers[0].Field(16));
    EXPECT_EQ(0xFFFFFFFFu, answers[0].Field(20));
    EXPECT_EQ((Bytes{1, 2, 3, 4, 5}), answers[0].data);
    Put32(ping, 16, 0xFFFFFFFF);  // wants no answer
    s.initiator.Feed(Encode(ping));
    EXPECT_TRUE(s.initiator.Received().empty());

    // The same initiator and session identity again: the old session gives way.
    TestInitiator again(s.portal, "127.0.0.1:40002");
    ASSERT_EQ(0, again.Login(s.portal.TargetName(0)));
    EXPECT_TRUE(s.initiator.Closed());
    std::vector<IscsiEvent> events = s.portal.TakeEvents();
    ASSERT_EQ(2u, events.size());
    EXPECT_EQ("reinstated", events[0].detail);
    EXPECT_EQ(IscsiEventKind::LOGIN, events[1].kind);

    Bytes logout = Header(0x46, 0x80 | 1);  // close the connection, CID 0
    Put32(logout, 16, 0x99);
    again.Feed(Encode(logout));
    answers = again.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x26, answers[0].Opcode());
    EXPECT_EQ(0, answers[0].header[2]);
    EXPECT_TRUE(again.Closed());
    events = s.portal.TakeEvents();
    ASSERT_EQ(1u, events.size());
    EXPECT_EQ(IscsiEventKind::LOGOUT, events[0].kind);
    EXPECT_EQ("logout", events[0].detail);
}

TEST(IscsiCommands, PdusATargetRefuses)
{
    Session s({"InitialR2T=No"});
    auto rejected = [&](const Bytes& pdu) {
        s.initiator.Feed(pdu);
        const std::vector<Pdu> answers = s.initiator.Received();
        return answers.size() == 1 && answers[0].Opcode() == 0x3F ? answers[0].header[2] : 0;
    };
    EXPECT_EQ(0x05, rejected(Encode(Header(0x0F, 0x80))));   // no such opcode
    EXPECT_EQ(0x03, rejected(Encode(Header(0x10, 0x80))));   // SNACK at error recovery level 0
    EXPECT_EQ(0x04, rejected(Encode(Header(0x43, 0x87))));   // login in the full feature phase
    Bytes stray = Header(0x05, 0x80);
    Put32(stray, 16, 0x5555);
    EXPECT_EQ(0x09, rejected(Encode(stray, Bytes(8))));        // Data-Out for no task
    // Immediate data although the unit's direction is in.
    EXPECT_EQ(0x04, rejected(Encode(s.initiator.CommandHeader(INQUIRY_36, 0xC0, 36), Bytes(16))));
    // A CmdSN outside the window is ignored; the one expected works.
    Bytes ahead = Header(0x01, 0x80);
    Put32(ahead, 24, s.initiator.CmdSn() + 5);
    s.initiator.Feed(Encode(ahead));
    EXPECT_TRUE(s.initiator.Received().empty());
    EXPECT_EQ(0, s.initiator.Command(TEST_UNIT_READY, 'n', 0).status);

    // Out-of-order data for a write: rejected, the connection ends, and the unit never got the command.
    s.portal.TakeEvents();
    Bytes write = s.initiator.CommandHeader({0x2A, 0, 0, 0, 0, 0, 0, 0, 2, 0}, 0x20, 1024);  // unsolicited data follows
    Bytes wrong = Header(0x05, 0x80);
    std::copy(write.begin() + 16, write.begin() + 20, wrong.begin() + 16);
    Put32(wrong, 20, 0xFFFFFFFF);
    Put32(wrong, 40, 512);  // starts at 512 instead of 0
    Bytes stream = Encode(write);
    const Bytes out = Encode(wrong, Bytes(512, 1));
    stream.insert(stream.end(), out.begin(), out.end());
    s.initiator.Feed(stream);
    const std::vector<Pdu> answers = s.initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x04, answers[0].header[2]);
    EXPECT_TRUE(s.initiator.Closed());
    EXPECT_TRUE(CommandLines(s.portal, true).empty());
}

TEST(IscsiCommands, SegmentLargerThanDeclaredEndsTheConnection)
{
    Session s;
    Bytes header = s.initiator.CommandHeader({0x2A, 0, 0, 0, 0, 0, 0, 0, 0x81, 0}, 0xA0, 0x81 * 512);
    header[5] = 0x01;  // 65537 bytes of immediate data announced; none need to follow
    header[7] = 0x01;
    s.initiator.Feed(header);
    const std::vector<Pdu> answers = s.initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x3F, answers[0].Opcode());
    EXPECT_TRUE(s.initiator.Closed());
}

}  // namespace
