// Statuses in words and the two renderings of a report.
#include <gtest/gtest.h>

#include "report.h"
#include "status_text.h"

namespace {

TEST(StatusText, SenseDerivedStatusesNameTheKeyAndTheCode)
{
    EXPECT_EQ("0x28000006 UNIT ATTENTION: not ready to ready change, medium may have changed (ASC 0x28, ASCQ 0x00)",
              StatusLine(0x28000006u));
    EXPECT_EQ("0x3a000002 NOT READY: medium not present (ASC 0x3A, ASCQ 0x00)", StatusLine(0x3A000002u));
    EXPECT_EQ("0x26020005 ILLEGAL REQUEST: parameter value invalid (ASC 0x26, ASCQ 0x02)", StatusLine(0x26020005u));
    EXPECT_EQ("0x28000000 NO SENSE: not ready to ready change, medium may have changed (ASC 0x28, ASCQ 0x00)",
              StatusLine(0x28000000u));
    // The vendor USB driver's status block reports ASC and ASCQ without a key; sense it asked for
    // after a failed data phase has one.
    EXPECT_EQ("0x28000000 sense key not reported: not ready to ready change, medium may have changed (ASC 0x28, "
              "ASCQ 0x00)",
              StatusLine(0x28000000u, StatusSource::VENDOR_USB));
    EXPECT_EQ("ILLEGAL REQUEST", DescribeStatus(0x24000005u, StatusSource::VENDOR_USB).senseKey);
    EXPECT_EQ("none", DescribeStatus(5, StatusSource::VENDOR_USB).senseKey);
    EXPECT_EQ("vendor-specific additional sense code", DescribeStatus(0x80010004u).meaning);
    EXPECT_EQ("additional sense code 0x7E/0x05 (not in this tool's table)", DescribeStatus(0x7E050003u).meaning);
}

TEST(StatusText, StatusesOfTheLayerAreExplainedAsSuch)
{
    EXPECT_EQ("none", DescribeStatus(5).senseKey);
    EXPECT_NE(std::string::npos, DescribeStatus(5).meaning.find("bad unit index or argument"));
    EXPECT_NE(std::string::npos, DescribeStatus(11).meaning.find("busy"));
    EXPECT_NE(std::string::npos, DescribeStatus(4).meaning.find("transport failure"));
    EXPECT_EQ("0xffffffff", DescribeStatus(0xFFFFFFFFu).hex);
    EXPECT_EQ("no host interface is installed", DescribeStatus(0xFFFFFFFFu).meaning);
    EXPECT_EQ("UNIT ATTENTION", DescribeStatus(6).senseKey);
    EXPECT_EQ("not a sense-derived status", DescribeStatus(0x00000100u).meaning);
}

TEST(Report, TextNestsObjectsAndListsAndJsonEscapes)
{
    Report report = Report::Object();
    report.Add("name", Report::Text("a \"quoted\"\ttab\\"));
    report.Add("value", Report::Hex(0x2A, 4));
    Report& items = report.Add("items", Report::List());
    Report& first = items.Append(Report::Object());
    first.Add("n", Report::Number(1));
    first.Add("ok", Report::Boolean(true));
    items.Append(Report::Bytes({0x00, 0xAB}));
    report.Add("dump", Report::Dump({0x41, 0x42, 0x00}, 0x10));

    EXPECT_EQ("name: a \"quoted\"\ttab\\\n"
              "value: 0x002a\n"
              "items:\n"
              "  - n: 1\n"
              "    ok: yes\n"
              "  - 00 ab\n"
              "dump:\n"
              "  00000010  41 42 00                                         |AB.|\n",
              ReportText(report));
    EXPECT_EQ("{\"name\":\"a \\\"quoted\\\"\\u0009tab\\\\\",\"value\":42,\"items\":[{\"n\":1,\"ok\":true},\"00ab\"],"
              "\"dump\":\"414200\"}",
              ReportJson(report));
}

}  // namespace
