// The message formatter: the conversions the texts use, and texts that do not match their arguments.
#include <gtest/gtest.h>

#include "app/message_format.h"

namespace {

using A = MessageArgument;

TEST(MessageFormat, TheConversionsOfTheMessageTexts)
{
    EXPECT_EQ("INQUIRY 0x00000005 x", FormatMessageText("INQUIRY 0x%08lx x", {A::Number(5)}));
    EXPECT_EQ("0xffffffff", FormatMessageText("0x%08lx", {A::Number(0xFFFFFFFFu)}));
    EXPECT_EQ("v 1.99 / 2.0", FormatMessageText("v %.4hs / %.4hs", {A::Text("1.99x"), A::Text("2.0")}));
    // Precision counts characters, not bytes.
    EXPECT_EQ("現在のフ|", FormatMessageText("%.4s|", {A::Text("現在のファーム")}));
    EXPECT_EQ("in a out b 100%", FormatMessageText("in %s out %s 100%%", {A::Text("a"), A::Text("b")}));
    EXPECT_EQ("[  -7][42  ][0042]", FormatMessageText("[%4d][%-4u][%04X]", {A::Number(static_cast<uint32_t>(-7)), A::Number(42), A::Number(0x42)}));
}

TEST(MessageFormat, MismatchedTextsReadNoWrongArgument)
{
    // Too few arguments, the wrong kind, an unknown or unfinished conversion.
    EXPECT_EQ("a= b=", FormatMessageText("a=%s b=%s", {A::Text("")}));
    EXPECT_EQ("n= s=", FormatMessageText("n=%08lx s=%s", {A::Text("x"), A::Number(1)}));
    EXPECT_EQ("%n %p x", FormatMessageText("%n %p %s", {A::Text("x")}));
    EXPECT_EQ("tail %08", FormatMessageText("tail %08", {A::Number(1)}));
    EXPECT_EQ("", FormatMessageText("", {A::Number(1)}));
}

}  // namespace
