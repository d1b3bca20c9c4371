// The checks every update report must pass.
#include "update_report_check.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

namespace {

struct Documented {
    const char* outcome;
    std::set<unsigned> messages;  // the texts this end may show; 0: none
};

// Written out here from the usage text's table, not taken from the program.
const std::map<int, Documented> DOCUMENTED = {
    {0, {"updated", {4012}}},
    {1, {"unit-failed", {4010, 0}}},
    {2, {"usage", {0}}},
    {3, {"no-unit", {4008}}},
    {4, {"several-units", {4009}}},
    {5, {"image-refused", {4003, 4004, 4005, 4006, 4007, 4015, 4017}}},
    {6, {"download-failed", {4017}}},
    {7, {"not-left", {0}}},
    {8, {"not-permitted", {4002, 0}}},
    {9, {"stopped", {4013, 0}}},
};

const char* const FIELDS[] = {"command", "ok",       "outcome",       "exitCode",       "image",
                              "convertedImage", "unit", "versionBefore", "versionAfter", "commands",
                              "saved",   "left",     "waitedMs",      "timeoutSeconds", "signal",
                              "status",  "messageId", "message",      "error"};

std::string Hex8(uint64_t status)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lx", static_cast<unsigned long>(status));
    return text;
}

void ExpectMessage(const JsonValue& report)
{
    const unsigned id = unsigned(report["messageId"].Unsigned());
    const std::string& message = report["message"].text;
    const JsonValue& status = report["status"];
    switch (id) {
    case 4010:
        EXPECT_EQ("INQUIRY コマンドが " + Hex8(status["status"].Unsigned()) + " を返しました。", message);
        break;
    case 4017:
        EXPECT_EQ("WRITE BUFFER コマンドが " + Hex8(status["status"].Unsigned()) + " を返しました。", message);
        break;
    case 4012:
        EXPECT_EQ(0u, message.find("ファームウェアの更新が終了しました。\n\nユニットの電源を一旦切り、再投入してください。"));
        break;
    case 4008:
        EXPECT_EQ("ユニットが見つかりませんでした。\n\nユニットを接続、電源を入れてから起動してください。", message);
        break;
    case 4013:
        EXPECT_EQ("ファームウェアの更新に失敗しました。", message);
        break;
    case 4003:
        EXPECT_EQ("ファイル " + report["image"].text + " を開けません。", message);
        break;
    default:
        EXPECT_FALSE(message.empty()) << id;
    }
}

}  // namespace

std::string DocumentedOutcome(int exitCode)
{
    const auto found = DOCUMENTED.find(exitCode);
    return found == DOCUMENTED.end() ? std::string() : found->second.outcome;
}

JsonValue ExpectSoundReport(const std::string& out, int exitCode)
{
    JsonValue report;
    std::string error;
    EXPECT_TRUE(ParseJson(out, &report, &error)) << error << "\n" << out;
    EXPECT_EQ(1u, out.size() - out.find('\n')) << "one line: " << out;
    EXPECT_EQ(JsonValue::OBJECT, report.kind);
    for (const char* field : FIELDS)
        EXPECT_TRUE(report.Has(field)) << field;
    EXPECT_EQ(sizeof FIELDS / sizeof FIELDS[0], report.fields.size());

    const auto documented = DOCUMENTED.find(exitCode);
    if (documented == DOCUMENTED.end()) {
        ADD_FAILURE() << "undocumented exit code " << exitCode;
        return report;
    }
    EXPECT_EQ("update", report["command"].text);
    EXPECT_EQ(documented->second.outcome, report["outcome"].text);
    EXPECT_EQ(unsigned(exitCode), report["exitCode"].Unsigned());
    EXPECT_EQ(exitCode == 0, report["ok"].boolean);
    EXPECT_EQ(exitCode == 0, report["error"].IsNull()) << report["error"].text;
    const unsigned id = report["messageId"].IsNull() ? 0 : unsigned(report["messageId"].Unsigned());
    EXPECT_EQ(1u, documented->second.messages.count(id)) << "message " << id << " for " << report["outcome"].text;
    EXPECT_EQ(id == 0, report["message"].IsNull());
    if (id != 0)
        ExpectMessage(report);
    // The save is reported accepted exactly when the run got as far as the wait.
    EXPECT_EQ(exitCode == 0 || exitCode == 7, report["saved"].boolean);
    EXPECT_EQ(exitCode == 0, report["left"].boolean);
    // Each command sent before the last one succeeded; a failed download ends with a failed one.
    const std::vector<JsonValue>& commands = report["commands"].items;
    for (size_t i = 0; i + 1 < commands.size(); ++i)
        EXPECT_EQ(0u, commands[i]["status"].Unsigned());
    if (exitCode == 6) {
        EXPECT_FALSE(commands.empty());
        if (!commands.empty()) {
            EXPECT_EQ(report["status"]["status"].Unsigned(), commands.back()["status"].Unsigned());
        }
    }
    return report;
}
