// The fault sweep over one whole firmware update, shared by every program that updates a unit (the
// updater's dialogs, the technician's tool). On each platform and transport the demo's emulated
// machine offers, for both generations, the n-th fault of a kind is injected for n = 1, 2, ... until
// a run no longer reaches it. The program under test runs the update and says how it ended; the
// sweep checks what every end must hold on the unit and the machine: the WRITE BUFFER commands sent
// are the first ones of the untouched run, in its order; nothing follows a refused one; success is
// reported only for an image the unit saved before it left; a failure before the download sends none
// of it, a stop before the save leaves the unit without it; no mutex stays owned, and nothing stays
// open once the unit layer is closed.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "tools/demo/demo_scenario.h"

// How the program says a run ended.
enum class SweepEnd {
    INVALID,                 // an end the program must never have
    UPDATED,                 // the image was saved and the unit has left
    WRITE_BUFFER_FAILED,     // a WRITE BUFFER command failed
    STOPPED,                 // stopped on request before the saving command
    FAILED_BEFORE_DOWNLOAD,  // refused before any WRITE BUFFER (no unit, rights, image, INQUIRY ...)
};

// One kind of fault: `arm` injects the n-th one into a freshly built scenario. A fault is reached when
// the machine made a call fail (system calls) or when the unit received its n-th command.
struct SweepFault {
    std::string name;
    std::function<void(DemoScenario& scenario, unsigned n)> arm;
    bool systemCall = false;
};

SweepFault FailingSystemCall();     // the n-th system call fails with its usual error
SweepFault CommandAnsweredWithSense();  // the unit answers its n-th command with HARDWARE ERROR 04/44/00
SweepFault UnitLeavingAfterCommand();   // the unit leaves the system after its n-th command

struct SweepGeneration {
    const char* name;
    const char* product;
    const char* revision;
    std::vector<uint8_t> callImage;   // long enough for every kind of call of the download
    std::vector<uint8_t> commandImage;  // long enough for every WRITE BUFFER position
};

// One run of the sweep: where, which fault (none for the untouched run) and that run's result.
struct SweepRun;
struct SweepCase {
    DemoPlatform platform;
    DemoTransport transport;
    const SweepGeneration* generation;
    const SweepFault* fault;     // null for the untouched run
    unsigned n;
    const SweepRun* reference;   // the untouched run; null while it runs
};

struct SweepRun {
    // Set by the program.
    SweepEnd end = SweepEnd::INVALID;
    std::string kind;  // the program's name for its end, for the counts and messages
    // What the machine and the unit saw.
    std::vector<SimCommand> commands;
    bool present = true;
    std::vector<uint8_t> saved;
    bool fired = false;
    std::string failedCall;
    size_t mutexesHeld = 0, handlesAfterClose = 0, allocationsAfterClose = 0;
};

// Runs the update on the scenario (its machine is in force, the fault armed; the image is the file
// "sweep.bin" in the current folder) and sets run.end and run.kind; it may check more of its own with
// EXPECT_*.
typedef std::function<void(const SweepCase& where, DemoScenario& scenario, SweepRun& run)> SweepProgram;

// The WRITE BUFFER CDBs among the unit's commands.
std::vector<std::vector<uint8_t>> WriteBufferCdbs(const std::vector<SimCommand>& commands);

// Sweeps `faults` on every platform, transport and generation; `program` names the sweep's lines.
void SweepUpdates(const std::string& program, const std::vector<SweepFault>& faults, const SweepProgram& run);
