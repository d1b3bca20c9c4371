// Logins as initiators make them, and the ones a target must refuse; discovery with SendTargets.
#include <gtest/gtest.h>

#include "tests/iscsi/test_initiator.h"

namespace {

const char INITIATOR[] = "InitiatorName=iqn.2008-11.org.linux-kvm";

uint16_t StatusOf(const Pdu& pdu) { return static_cast<uint16_t>(pdu.header[36] << 8 | pdu.header[37]); }

TEST(IscsiLogin, QemuStartsInTheOperationalStageAndEveryKeyIsAnswered)
{
    SimUnit unit;
    IscsiPortal portal({{&unit, 0}});
    TestInitiator qemu(portal);
    qemu.SendLogin({INITIATOR, "TargetName=" + portal.TargetName(0), "SessionType=Normal",
                    "HeaderDigest=None,CRC32C", "DataDigest=None", "InitialR2T=No", "ImmediateData=Yes",
                    "MaxBurstLength=262144", "FirstBurstLength=262144", "DefaultTime2Wait=2", "DefaultTime2Retain=0",
                    "MaxOutstandingR2T=1", "ErrorRecoveryLevel=0", "IFMarker=No", "OFMarker=No", "MaxConnections=1",
                    "MaxRecvDataSegmentLength=262144", "DataPDUInOrder=Yes", "DataSequenceInOrder=Yes"},
                   1, 3, true);
    const std::vector<Pdu> answers = qemu.Received();
    ASSERT_EQ(1u, answers.size());
    const Pdu& answer = answers[0];
    EXPECT_EQ(0x23, answer.Opcode());
    EXPECT_EQ(0x80 | 1 << 2 | 3, answer.Flags());  // transit from the operational stage to full feature
    EXPECT_EQ(0, StatusOf(answer));
    EXPECT_NE(0, answer.header[14] << 8 | answer.header[15]);  // a TSIH for the new session
    const std::vector<std::string> expected = {
        "HeaderDigest=None", "DataDigest=None", "InitialR2T=No", "ImmediateData=Yes", "MaxBurstLength=262144",
        "FirstBurstLength=65536", "DefaultTime2Wait=2", "DefaultTime2Retain=0", "MaxOutstandingR2T=1",
        "ErrorRecoveryLevel=0", "IFMarker=No", "OFMarker=No", "MaxConnections=1", "DataPDUInOrder=Yes",
        "DataSequenceInOrder=Yes", "TargetAlias=QZV-57H unit 0", "TargetPortalGroupTag=1",
        "MaxRecvDataSegmentLength=65536"};
    EXPECT_EQ(expected, answer.Keys());
    ASSERT_EQ(1u, portal.TakeEvents().size());
}

TEST(IscsiLogin, SecurityThenOperationalStageAndTheKeysRules)
{
    SimUnit unit;
    IscsiPortal portal({{&unit, 0}});
    TestInitiator initiator(portal);
    initiator.SendLogin({INITIATOR, "TargetName=" + portal.TargetName(0), "AuthMethod=CHAP,None"}, 0, 1, true);
    std::vector<Pdu> answers = initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x80 | 0 << 2 | 1, answers[0].Flags());
    EXPECT_EQ((std::vector<std::string>{"AuthMethod=None", "TargetAlias=QZV-57H unit 0", "TargetPortalGroupTag=1"}),
              answers[0].Keys());
    EXPECT_EQ(0, answers[0].header[14] << 8 | answers[0].header[15]);  // no session yet

    // Stay in the operational stage once: out-of-range, unknown and extension keys.
    initiator.SendLogin({"MaxBurstLength=100", "X-com.example.Thing=1", "Colour=blue", "ErrorRecoveryLevel=2",
                         "MaxConnections=8", "InitialR2T=Maybe", "DefaultTime2Wait=7", "OFMarkInt=2048~8192",
                         "TaskReporting=ResponseFence,RFC3720", "iSCSIProtocolLevel=2"},
                        1, 0, false);
    answers = initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(1 << 2, answers[0].Flags());
    EXPECT_EQ((std::vector<std::string>{"MaxBurstLength=Reject", "X-com.example.Thing=NotUnderstood",
                                        "Colour=NotUnderstood", "ErrorRecoveryLevel=0", "MaxConnections=1",
                                        "InitialR2T=Reject", "DefaultTime2Wait=7", "OFMarkInt=Irrelevant",
                                        "TaskReporting=RFC3720", "iSCSIProtocolLevel=1",
                                        "MaxRecvDataSegmentLength=65536"}),
              answers[0].Keys());

    // Text spread over two PDUs: the first is acknowledged without keys.
    const std::string first("ImmediateData=No\0FirstBurst", 27), second("Length=4096\0", 12);
    initiator.SendLoginText(Bytes(first.begin(), first.end()), 1, 3, false, true);
    answers = initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_TRUE(answers[0].data.empty());
    initiator.SendLoginText(Bytes(second.begin(), second.end()), 1, 3, true, false);
    answers = initiator.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ(0x80 | 1 << 2 | 3, answers[0].Flags());
    EXPECT_EQ((std::vector<std::string>{"ImmediateData=No", "FirstBurstLength=4096"}), answers[0].Keys());
    EXPECT_TRUE(initiator.Connection()->LoggedIn());
}

struct Refusal {
    const char* what;
    std::vector<std::string> keys;
    uint8_t current, next;
    bool transit, more;
    uint16_t status;
    uint8_t versionMin = 0;
    uint16_t tsih = 0;
};

TEST(IscsiLogin, RefusedLoginsGetTheirStatusAndTheConnectionEnds)
{
    SimUnit unit;
    IscsiPortal portal({{&unit, 0}});
    const std::string target = "TargetName=" + portal.TargetName(0);
    const Refusal refusals[] = {
        {"unknown target", {INITIATOR, "TargetName=iqn.2025-01.invalid.qzvsim:none.9"}, 1, 3, true, false, 0x0203},
        {"no initiator name", {target}, 1, 3, true, false, 0x0207},
        {"no target name", {INITIATOR, "SessionType=Normal"}, 1, 3, true, false, 0x0207},
        {"authentication only", {INITIATOR, target, "AuthMethod=CHAP"}, 0, 1, true, false, 0x0201},
        {"newer version only", {INITIATOR, target}, 1, 3, true, false, 0x0205, 1},
        {"key without '='", {INITIATOR, target, "ImmediateData"}, 1, 3, true, false, 0x0200},
        {"key twice", {INITIATOR, target, "MaxBurstLength=512", "MaxBurstLength=512"}, 1, 3, true, false, 0x0200},
        {"operational key in the security stage", {INITIATOR, target, "ImmediateData=No"}, 0, 1, true, false, 0x0200},
        {"authentication in the operational stage", {INITIATOR, target, "AuthMethod=None"}, 1, 3, true, false, 0x0200},
        {"unknown session type", {INITIATOR, target, "SessionType=Private"}, 1, 3, true, false, 0x0209},
        {"connection for a session that does not exist", {INITIATOR, target}, 1, 3, true, false, 0x020A, 0, 7},
        {"reserved next stage", {INITIATOR, target}, 1, 2, true, false, 0x0200},
        {"transit and continue at once", {INITIATOR, target}, 1, 3, true, true, 0x0200},
        {"full feature as current stage", {INITIATOR, target}, 3, 3, true, false, 0x0200},
    };
    for (const Refusal& refusal : refusals) {
        SCOPED_TRACE(refusal.what);
        TestInitiator initiator(portal);
        Bytes header = Header(0x43, static_cast<uint8_t>((refusal.transit ? 0x80 : 0) | (refusal.more ? 0x40 : 0) |
                                                         refusal.current << 2 | refusal.next));
        header[3] = refusal.versionMin;
        header[14] = static_cast<uint8_t>(refusal.tsih >> 8);
        header[15] = static_cast<uint8_t>(refusal.tsih);
        initiator.Feed(Encode(header, TextData(refusal.keys)));
        const std::vector<Pdu> answers = initiator.Received();
        ASSERT_EQ(1u, answers.size());
        EXPECT_EQ(refusal.status, StatusOf(answers[0]));
        EXPECT_TRUE(answers[0].data.empty());
        EXPECT_TRUE(initiator.Closed());
        const std::vector<IscsiEvent> events = portal.TakeEvents();
        ASSERT_EQ(1u, events.size());
        EXPECT_EQ(IscsiEventKind::LOGIN_REFUSED, events[0].kind);
    }
    // A key offered again with another value in a later request.
    TestInitiator initiator(portal);
    initiator.SendLogin({INITIATOR, target, "MaxBurstLength=4096"}, 1, 0, false);
    initiator.SendLogin({"MaxBurstLength=8192"}, 1, 3, true);
    const std::vector<Pdu> answers = initiator.Received();
    ASSERT_EQ(2u, answers.size());
    EXPECT_EQ(0x0200, StatusOf(answers[1]));
    EXPECT_TRUE(initiator.Closed());
}

TEST(IscsiLogin, NothingButLoginBeforeTheSessionAndLoginsThatNeverFinish)
{
    SimUnit unit;
    IscsiPortal portal({{&unit, 0}}, IscsiLimits());
    portal.Advance(100);
    {
        TestInitiator early(portal);
        early.Feed(Encode(Header(0x40, 0x80)));  // a NOP-Out first
        EXPECT_TRUE(early.Received().empty());
        EXPECT_TRUE(early.Closed());
    }
    TestInitiator silent(portal);
    TestInitiator halfway(portal);
    halfway.SendLogin({INITIATOR, "TargetName=" + portal.TargetName(0)}, 0, 1, false);
    ASSERT_EQ(1u, halfway.Received().size());
    TestInitiator done(portal);
    ASSERT_EQ(0, done.Login(portal.TargetName(0)));
    portal.Advance(100 + IscsiLimits().loginTimeoutMs - 1);
    EXPECT_FALSE(silent.Closed());
    EXPECT_EQ(100 + IscsiLimits().loginTimeoutMs, portal.NextDeadline());
    portal.Advance(100 + IscsiLimits().loginTimeoutMs);
    EXPECT_TRUE(silent.Closed());
    EXPECT_TRUE(halfway.Closed());
    EXPECT_FALSE(done.Closed());
}

TEST(IscsiLogin, ConnectionsAreBounded)
{
    SimUnit unit;
    IscsiLimits limits;
    limits.maxConnections = 3;
    IscsiPortal portal({{&unit, 0}}, limits);
    std::vector<int> slots;
    for (int i = 0; i < 3; ++i)
        slots.push_back(portal.Accept("peer", "portal"));
    EXPECT_EQ((std::vector<int>{0, 1, 2}), slots);
    EXPECT_EQ(-1, portal.Accept("peer", "portal"));
    portal.Release(1);
    EXPECT_EQ(1, portal.Accept("peer", "portal"));
}

TEST(IscsiLogin, DiscoveryListsTheServedTargetsOnlyAndTakesNoCommands)
{
    SimUnit first, second, third;
    IscsiPortal portal({{&first, 0}, {&second, 1000}, {&third, 0}});
    third.Unplug();  // gone for good once the portal looks at it
    TestInitiator user(portal);
    ASSERT_EQ(0, user.Login(portal.TargetName(2)));
    user.Command({0x00, 0, 0, 0, 0, 0}, 'n', 0);

    TestInitiator discovery(portal, "127.0.0.1:40001", "[::1]:3300");
    ASSERT_EQ(0, discovery.LoginDiscovery());
    Bytes text = Header(0x04, 0x80);
    Put32(text, 16, 7);
    Put32(text, 20, 0xFFFFFFFF);
    Put32(text, 24, discovery.CmdSn());
    discovery.TakeCmdSn();
    discovery.Feed(Encode(text, TextData({"SendTargets=All"})));
    std::vector<Pdu> answers = discovery.Received();
    ASSERT_EQ(1u, answers.size());
    EXPECT_EQ((std::vector<std::string>{"TargetName=" + portal.TargetName(0), "TargetAddress=[::1]:3300,1",
                                        "TargetName=" + portal.TargetName(1), "TargetAddress=[::1]:3300,1"}),
              answers[0].Keys());
    EXPECT_EQ("iqn.2025-01.invalid.qzvsim:qzv-57h.1", portal.TargetName(1));

    const CommandOutcome refused = discovery.Command({0x12, 0, 0, 0, 36, 0}, 'r', 36);
    ASSERT_EQ(1u, refused.pdus.size());
    EXPECT_EQ(0x3F, refused.pdus[0].Opcode());
    EXPECT_EQ(0x04, refused.pdus[0].header[2]);
}

TEST(IscsiLogin, LongSendTargetsAnswersComeInPartsTheInitiatorAsksFor)
{
    std::vector<std::unique_ptr<SimUnit>> units;
    std::vector<IscsiServedUnit> served;
    for (int i = 0; i < 40; ++i) {
        units.emplace_back(new SimUnit);
        served.push_back({units.back().get(), 0});
    }
    IscsiPortal portal(served);
    TestInitiator discovery(portal);
    discovery.SendLogin({INITIATOR, "SessionType=Discovery", "MaxRecvDataSegmentLength=512"}, 1, 3, true);
    ASSERT_EQ(1u, discovery.Received().size());
    Pdu whole;  // the parts' text, joined
    uint32_t tag = 0xFFFFFFFF;
    Bytes request = TextData({"SendTargets=All"});
    for (int part = 0; part < 100; ++part) {
        Bytes text = Header(0x04, 0x80);
        Put32(text, 20, tag);
        Put32(text, 24, discovery.CmdSn());
        discovery.TakeCmdSn();
        discovery.Feed(Encode(text, request));
        request.clear();
        const std::vector<Pdu> answers = discovery.Received();
        ASSERT_EQ(1u, answers.size());
        EXPECT_LE(answers[0].data.size(), 512u);
        whole.data.insert(whole.data.end(), answers[0].data.begin(), answers[0].data.end());
        tag = answers[0].Field(20);
        if (answers[0].Flags() & 0x80)
            break;
        EXPECT_EQ(0x40, answers[0].Flags());
    }
    const std::vector<std::string> keys = whole.Keys();
    ASSERT_EQ(80u, keys.size());
    EXPECT_EQ("TargetName=" + portal.TargetName(39), keys[78]);
    EXPECT_EQ(0xFFFFFFFFu, tag);
}

}  // namespace
