// How `qzvctl update` ends: its exit codes and the names its JSON object gives them, and the record of
// one run from which both its JSON object and its summary for people are made.
#pragma once

#include <string>
#include <vector>

#include "download_guard.h"
#include "report.h"

// The exit codes. 0 to 2 mean what they mean for every command of the tool.
enum UpdateOutcome {
    UPDATE_DONE = 0,             // the unit saved the image and left the system to restart
    UPDATE_UNIT_FAILED = 1,      // the unit did not answer its INQUIRY or configuration command
    UPDATE_USAGE = 2,            // the command line was wrong; nothing was sent
    UPDATE_NO_UNIT = 3,          // no unit, or none with the --unit index
    UPDATE_SEVERAL_UNITS = 4,    // more than one unit and no --unit
    UPDATE_IMAGE_REFUSED = 5,    // the image cannot be read, converted or sent to this unit; nothing sent
    UPDATE_DOWNLOAD_FAILED = 6,  // a WRITE BUFFER command failed; the saving command was not accepted
    UPDATE_NOT_LEFT = 7,         // the save was accepted, but the unit was still there at the time limit
    UPDATE_NOT_PERMITTED = 8,    // the update needs root (Linux) or the Administrators group (Windows)
    UPDATE_STOPPED = 9,          // a signal, or the answer at the prompt, stopped it before the save
};

// The outcome's name in the JSON object ("updated", "no-unit", ...) and its meaning in words.
const char* UpdateOutcomeName(UpdateOutcome outcome);
const char* UpdateOutcomeMeaning(UpdateOutcome outcome);

// The "exit status" lines of the usage text: one line per exit code with its name and meaning.
std::string UpdateExitStatusText();

struct UpdateRecord {
    UpdateOutcome outcome = UPDATE_USAGE;
    std::string image;           // the IMAGE argument
    std::string convertedImage;  // the binary file a conversion wrote; empty without one
    bool haveUnit = false;       // the unit answered INQUIRY
    DWORD unitIndex = 0;
    std::string transport;       // "host" or "usb"
    BYTE inquiry[36] = {};
    DWORD configuration = 0;
    std::string versionBefore;   // the unit's revision; empty when unknown
    std::string versionAfter;    // the image's version for the unit's slot; empty when unknown
    std::vector<SentCommand> commands;
    bool saved = false;          // the saving command was accepted
    bool left = false;           // the unit left the system afterwards
    DWORD waitedMs = 0;
    DWORD timeoutSeconds = 0;
    int signal = 0;              // the stop signal that came, or 0
    bool hasStatus = false;      // the failure carries a unit status
    UnitStatus status = 0;
    UINT messageId = 0;          // the program's text for this end (0: none)
    std::string message;
    std::string error;           // why it failed, in words; empty on success
};

// The whole JSON object. Every field is present in every run; what is not known is null.
Report UpdateReport(const UpdateRecord& record);

// The summary for people, a few lines ending with the program's text.
std::string UpdateSummary(const UpdateRecord& record);

// The JSON object of a command line that was refused before anything ran.
Report UpdateUsageReport(const std::string& error);
