// The fault sweeps of `qzvctl update` (tests/support/update_sweep.h): on every platform and transport
// the demo's emulated machine offers and for both generations, each system call failing in turn,
// each unit command answered with sense or with garbage, the unit leaving after each command, and a
// stop signal arriving during each command. Every run must end with a documented exit code and a
// JSON object that agrees with it and with what the unit received; the shared sweep checks that no
// WRITE BUFFER follows a failure and that no save is sent after one.
#include <csignal>
#include <sstream>

#include "qzvctl.h"
#include "support/update_sweep.h"
#include "update_report_check.h"

namespace {

const uint8_t WRITE_BUFFER = 0x3B;

SweepEnd EndOfExitCode(int code)
{
    switch (code) {
    case 0: return SweepEnd::UPDATED;
    case 6: return SweepEnd::WRITE_BUFFER_FAILED;
    case 9: return SweepEnd::STOPPED;
    case 1:
    case 3:
    case 4:
    case 5:
    case 8: return SweepEnd::FAILED_BEFORE_DOWNLOAD;
    default: return SweepEnd::INVALID;  // 2 (usage) and 7 (a unit that stays) have no place here
    }
}

// The unit answers its n-th command with CHECK CONDITION and sense bytes of no known format. Bytes
// 12 and 13 are not zero, so that the vendor USB driver's status block, which carries only those two,
// shows a failure too (a failure without them passes that driver as success: see the update tests).
SweepFault CommandAnsweredWithGarbage()
{
    return {"garbage answers", [](DemoScenario& scenario, unsigned n) {
                scenario.Unit()->FailCommandWithRawSense(
                    n, {0x7E, 0xFF, 0x13, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x99, 0x77});
            }};
}

// SIGINT (odd n) or SIGTERM (even n) arrives while the unit carries out its n-th command.
const char* const SIGNAL_SWEEP = "a stop signal";
SweepFault SignalDuringCommand()
{
    return {SIGNAL_SWEEP, [](DemoScenario& scenario, unsigned n) {
                scenario.Unit()->RunBeforeCommand(n, [n] { std::raise(n % 2 ? SIGINT : SIGTERM); });
            }};
}

// The 1-based position of the saving command among the untouched run's commands.
size_t SavePosition(const std::vector<SimCommand>& commands)
{
    size_t position = 0;
    for (size_t i = 0; i < commands.size(); ++i)
        if (commands[i].cdb[0] == WRITE_BUFFER)
            position = i + 1;
    return position;
}

// A signal before the saving command stops the run with no WRITE BUFFER after the interrupted
// command; one during the save lets the update finish, and the report names the signal.
void ExpectSignalEnd(const SweepCase& where, const std::vector<SimCommand>& commands, int code, const JsonValue& report)
{
    const size_t save = SavePosition(where.reference->commands);
    if (where.n >= save) {
        EXPECT_EQ(0, code);
        EXPECT_EQ(where.n % 2 ? "SIGINT" : "SIGTERM", report["signal"].text);
        return;
    }
    EXPECT_EQ(9, code);
    EXPECT_FALSE(report["signal"].IsNull());
    for (size_t i = where.n; i < commands.size(); ++i)
        EXPECT_NE(WRITE_BUFFER, commands[i].cdb[0]) << "command " << i + 1 << " after the signal";
}

void RunTool(const SweepCase& where, DemoScenario& scenario, SweepRun& run)
{
    std::ostringstream out, err;
    const ToolConsole noTerminal;
    const int code = QzvctlMain({"--json", "update", "sweep.bin", "--yes"}, out, err, nullptr, &noTerminal);
    const JsonValue report = ExpectSoundReport(out.str(), code);
    run.kind = DocumentedOutcome(code);
    run.end = EndOfExitCode(code);

    // The report's commands are the WRITE BUFFER commands the unit received, except that the last one
    // reported may have failed on its way.
    const std::vector<SimCommand>& commands = scenario.Unit()->Commands();
    const std::vector<std::vector<uint8_t>> received = WriteBufferCdbs(commands);
    const std::vector<JsonValue>& reported = report["commands"].items;
    const bool lastLost = !reported.empty() && reported.back()["status"].Unsigned() != 0 &&
                          received.size() + 1 == reported.size();
    EXPECT_TRUE(received.size() == reported.size() || lastLost) << received.size() << " " << reported.size();
    for (size_t i = 0; i < received.size() && i < reported.size(); ++i) {
        std::string hex;
        for (uint8_t byte : received[i]) {
            static const char digits[] = "0123456789abcdef";
            hex += digits[byte >> 4];
            hex += digits[byte & 15];
        }
        EXPECT_EQ(hex, reported[i]["cdb"].text);
    }
    if (where.fault && where.fault->name == SIGNAL_SWEEP && commands.size() >= where.n)
        ExpectSignalEnd(where, commands, code, report);
}

TEST(QzvctlUpdateSweep, EveryFaultEndsWithItsDocumentedExitCodeAndReport)
{
    SweepUpdates("qzvctl update",
                 {FailingSystemCall(), CommandAnsweredWithSense(), CommandAnsweredWithGarbage(),
                  UnitLeavingAfterCommand(), SignalDuringCommand()},
                 RunTool);
}

}  // namespace
