// qzvsim's command line and the lines it prints: other programs parse those, so every format is
// pinned here.
#include <gtest/gtest.h>

#include <sstream>

#include "tools/qzvsim/qzvsim.h"
#include "tools/qzvsim/qzvsim_options.h"
#include "tools/qzvsim/qzvsim_report.h"

namespace {

TEST(QzvsimOptions, GroupsOfUnitsWithTheDemosOptions)
{
    QzvsimOptions options;
    std::string error;
    ASSERT_TRUE(QzvsimParse({}, &options, &error));
    ASSERT_EQ(1u, options.groups.size());
    EXPECT_EQ("127.0.0.1:3260", options.listen);
    EXPECT_EQ("QZV-57H", options.groups[0].unit.product);

    ASSERT_TRUE(QzvsimParse({"--listen", "[::1]:3300", "--verbose", "--revision=2.05", "--count=2",
                             "--transcript=h.txt", "--unit", "--product=G", "--revision=1.50", "--restart-ms=500",
                             "--fault=sense:3", "--unit"},
                            &options, &error))
        << error;
    EXPECT_EQ("[::1]:3300", options.listen);
    EXPECT_TRUE(options.verbose);
    ASSERT_EQ(3u, options.groups.size());
    EXPECT_EQ("2.05", options.groups[0].unit.revision);
    EXPECT_EQ(2u, options.groups[0].count);
    EXPECT_EQ("QZV-57G", options.groups[1].unit.product);
    EXPECT_EQ(500u, options.groups[1].unit.restartMs);
    EXPECT_EQ(DemoFaultKind::UNIT_SENSE, options.groups[1].unit.fault.kind);
    EXPECT_EQ("QZV-57H", options.groups[2].unit.product);  // a group starts from the defaults
    EXPECT_EQ("h.txt.0", QzvsimTranscriptPath(options.groups[0], 0));
    EXPECT_EQ("h.txt.1", QzvsimTranscriptPath(options.groups[0], 1));
    EXPECT_EQ("", QzvsimTranscriptPath(options.groups[1], 2));
    options.groups[1].unit.transcriptPath = "g.txt";
    EXPECT_EQ("g.txt", QzvsimTranscriptPath(options.groups[1], 2));

    // The first --unit opens the first group when no unit option came before it.
    ASSERT_TRUE(QzvsimParse({"--unit", "--product=G", "--listen=127.0.0.1:0"}, &options, &error));
    ASSERT_EQ(1u, options.groups.size());
    EXPECT_EQ("127.0.0.1:0", options.listen);

    for (const std::vector<std::string>& refused :
         std::vector<std::vector<std::string>>{{"--platform=9x"}, {"--transport=usb"}, {"--fault=call:3"},
                                               {"--count=0"}, {"--count=65"}, {"--count=40", "--unit", "--count=30"},
                                               {"--slot=5"}, {"image.bin"}, {"--listen"}, {"--colour=red"}}) {
        error.clear();
        EXPECT_FALSE(QzvsimParse(refused, &options, &error)) << refused[0];
        EXPECT_FALSE(error.empty()) << refused[0];
    }
}

TEST(QzvsimOptions, ExitStatusForWhatCannotBeServed)
{
    for (const char* address : {"127.0.0.1:65536", "127.0.0.1:", "127.0.0.1", "localhost:http"}) {
        std::ostringstream out, error;
        EXPECT_EQ(1, QzvsimMain({std::string("--listen=") + address}, out, error)) << address;
        EXPECT_EQ("", out.str());
        EXPECT_NE(std::string::npos, error.str().find("port from 0 to 65535")) << error.str();
    }
    std::ostringstream out, error;
    EXPECT_EQ(2, QzvsimMain({"--fault=call:1"}, out, error));
    EXPECT_EQ(0, QzvsimMain({"--help"}, out, error));
    EXPECT_EQ(0u, out.str().find("qzvsim [--listen=ADDR:PORT]"));
}

TEST(QzvsimLines, EveryEventHasItsStableLine)
{
    IscsiEvent command{IscsiEventKind::COMMAND, 1, "", "", "12 00 | in | 36 | ab | GOOD"};
    command.unitReceived = true;
    IscsiEvent answered = command;
    answered.unitReceived = false;
    const struct {
        IscsiEvent event;
        const char* line;
    } cases[] = {
        {{IscsiEventKind::LOGIN, 0, "127.0.0.1:5000", "iqn.x:y", ""}, "login unit=0 peer=127.0.0.1:5000 initiator=iqn.x:y"},
        {{IscsiEventKind::LOGIN, -1, "[::1]:5000", "iqn.x:y", ""}, "login discovery peer=[::1]:5000 initiator=iqn.x:y"},
        {{IscsiEventKind::LOGIN_REFUSED, 2, "p:1", "iqn.x", "0301"},
         "login-refused unit=2 peer=p:1 initiator=iqn.x status=0301"},
        {{IscsiEventKind::LOGIN_REFUSED, -1, "p:1", "", "0203"}, "login-refused unit=- peer=p:1 initiator=- status=0203"},
        {{IscsiEventKind::LOGOUT, 0, "p:1", "bad name\x01", "unit-left"},
         "logout unit=0 peer=p:1 initiator=bad?name? reason=unit-left"},
        {{IscsiEventKind::LOGOUT, -1, "p:1", "i", "logout"}, "logout discovery peer=p:1 initiator=i reason=logout"},
        {{IscsiEventKind::LEAVING, 0, "", "", "3000"}, "restart unit=0 leaving ms=3000"},
        {{IscsiEventKind::BACK, 0, "", "", "2.10"}, "restart unit=0 back revision=2.10"},
        {{IscsiEventKind::GONE, 3, "", "", ""}, "gone unit=3"},
        {command, "command unit=1 by=unit 12 00 | in | 36 | ab | GOOD"},
        {answered, "command unit=1 by=target 12 00 | in | 36 | ab | GOOD"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.line, QzvsimEventLine(c.event, true));
    EXPECT_EQ("", QzvsimEventLine(command, false));

    SimUnitConfig config;
    config.product = "QZV-57G";
    config.revision = "1.50";
    SimUnit unit(config);
    IscsiPortal portal({{&unit, 0}});
    EXPECT_EQ("unit=0 target=iqn.2025-01.invalid.qzvsim:qzv-57g.0 product=QZV-57G revision=1.50",
              QzvsimUnitLine(portal, 0));
}

}  // namespace
