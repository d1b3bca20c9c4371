// The download of `qzvctl update`, run through the unit's own procedure with the unit entry's execute
// swapped, for the run, for one that records every command and that sends nothing more once a stop
// has been requested: the procedure then ends at once (the command not sent returns 5, "no command
// was sent"), so a stop before the saving command leaves the unit without it.
#pragma once

#include <cstdint>
#include <vector>

#include "unit/unit_table.h"

struct SentCommand {
    std::vector<uint8_t> cdb;
    DWORD length = 0;
    UnitStatus status = 0;
};

struct GuardedDownload {
    UnitStatus status = 0;            // what the procedure returned
    std::vector<SentCommand> sent;    // the commands handed to the transport, in order
    int stopSignal = 0;               // the signal that stopped the download before a command, or 0
};

// Runs the download of `image` to unit `unitIndex` as the update run does (an odd *imageSize is made
// even). `stopRequested` is asked before every command: nonzero stops the download there.
GuardedDownload RunGuardedDownload(DWORD unitIndex, BYTE* image, LONG* imageSize, int (*stopRequested)(void));
