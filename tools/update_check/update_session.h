// One run of the updater on the headless front end, on an emulated machine with one unit, as a user
// runs it: Start (or Quit) when the probe offers it, then a wait for the unit to restart; a unit that does
// not leave the system within the user's patience is switched off, as the progress dialog's text
// tells the user to wait for the LEDs and then to switch the unit off and on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/machine/emulated_machine.h"

struct UpdateSessionOptions {
    bool pressStart = true;     // false: Quit when the probe offers Start
    DWORD patienceMs = 30000;   // virtual time the user waits for the unit to leave
};

struct UpdateSession {
    std::vector<std::string> texts;  // every text put into the main dialog's message area, in order
    std::string finalText;           // what it showed when Quit was pressed (its first text if none was put)
    bool startPressed = false;
    std::string textAtStart;         // what the message area showed when Start was pressed
    size_t commandsAtStart = 0;      // commands the unit had received by then
    bool switchedOff = false;        // the user switched the unit off after waiting
    bool ended = false;              // the program waited for Quit and ended through it, in time
    DWORD uiTime = 0;                // virtual time of the front end at the end
    uint64_t machineTime = 0;        // virtual time of the machine at the end
    size_t mutexesHeld = 0;          // mutexes the program owned when it ended
    size_t handlesAfterClose = 0;    // handles and memory blocks left once the unit layer is closed
    size_t allocationsAfterClose = 0;
};

// Runs the updater with `commandLine` and closes the unit layer afterwards. The machine's device-change
// notices must reach the dialogs (a demo scenario delivers them); `unit` is the one the user switches
// off, and may be null.
UpdateSession RunUpdateSession(EmulatedMachine& machine, SimUnit* unit, const char* commandLine,
                               const UpdateSessionOptions& options);
