// What a firmware download would send, found by running the unit's own download procedure against
// a recording entry: every command is recorded and answered with success, nothing reaches a unit.
#pragma once

#include <cstdint>
#include <vector>

#include "unit/unit_table.h"

struct PlannedCommand {
    std::vector<uint8_t> cdb;
    DWORD direction = UnitNoData;
    DWORD length = 0;
    // Where the data comes from: an offset into the image, or bytes of their own (the header).
    bool fromImage = false;
    DWORD imageOffset = 0;
    std::vector<uint8_t> data;
};

struct DownloadPlan {
    bool newGeneration = false;  // the header-and-pieces procedure of revisions 1.99 and later
    UnitStatus status = 0;       // what the procedure returned; nonzero when it refuses the image
    std::vector<PlannedCommand> commands;
};

// Runs the procedure that a unit at `revision` gets on `length` bytes of `image` (the caller makes an
// odd file length even). `image` must hold at least `length` bytes.
DownloadPlan PlanDownload(BYTE* image, DWORD length, DWORD revision);
