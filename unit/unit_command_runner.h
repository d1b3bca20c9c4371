// The common preamble of every unit command: index check, the unit's CDB area, writing the CDB and
// executing it, with the retry rule. Each command of the command set is one small function over it:
//
//   UnitStatus UnitRezero(DWORD unit)
//   {
//       const UnitCommand rezero = {{0x01, 0, 0, 0, 0, 0}, 6, UnitNoData, nullptr, 0, UNIT_RETRY_NONE};
//       return UnitRun(unit, rezero);
//   }
//
// Operations of several commands check the index once (UnitEntryAt) and then run each command with
// UnitRunOnEntry, or take the area once (UnitCdbArea) and use UnitRunInArea for each command.
#pragma once

#include "unit/unit_table.h"

enum UnitRetry {
    UNIT_RETRY_NONE,  // issued once
    UNIT_RETRY_ONCE,  // issued a second time, unchanged, when the first status is exactly 0x28000006
};

// UNIT ATTENTION, not ready to ready change: the one status that UNIT_RETRY_ONCE repeats.
#define UNIT_STATUS_READY_CHANGE 0x28000006u


struct UnitCommand {
    BYTE cdb[16];
    DWORD cdbLength;  // 6, 10 or 12
    DWORD direction;  // UnitNoData, UnitDataIn or UnitDataOut
    void* data;       // null for UnitNoData
    DWORD length;     // 0 for UnitNoData
    UnitRetry retry;
};

// The unit's CDB area, or null when the entry's transport has none.
BYTE* UnitCdbArea(const UnitEntry& entry);

// Writes the command's CDB into `area` and executes it on the entry, repeating it once on
// UNIT_STATUS_READY_CHANGE when the command says so. Bytes of the area beyond cdbLength are kept.
UnitStatus UnitRunInArea(const UnitEntry& entry, BYTE* area, const UnitCommand& command);

// Takes the entry's CDB area (none: 5) and runs the command in it.
UnitStatus UnitRunOnEntry(const UnitEntry& entry, const UnitCommand& command);

// The whole preamble for a one-command operation: index check (5), then UnitRunOnEntry.
UnitStatus UnitRun(DWORD unit, const UnitCommand& command);
