// The common preamble of the unit commands.
#include "unit/unit_command_runner.h"

#include <cstring>

BYTE* UnitCdbArea(const UnitEntry& entry)
{
    return entry.getCdb ? entry.getCdb(entry.transportIndex) : nullptr;
}

UnitStatus UnitRunInArea(const UnitEntry& entry, BYTE* area, const UnitCommand& command)
{
    std::memcpy(area, command.cdb, command.cdbLength);
    UnitStatus status =
        entry.execute(entry.transportIndex, command.direction, command.cdbLength, command.data, command.length);
    if (status == UNIT_STATUS_READY_CHANGE && command.retry == UNIT_RETRY_ONCE)
        status = entry.execute(entry.transportIndex, command.direction, command.cdbLength, command.data,
                               command.length);
    return status;
}

UnitStatus UnitRunOnEntry(const UnitEntry& entry, const UnitCommand& command)
{
    BYTE* area = UnitCdbArea(entry);
    if (!area)
        return UNIT_STATUS_BAD_ARGUMENT;
    return UnitRunInArea(entry, area, command);
}

UnitStatus UnitRun(DWORD unit, const UnitCommand& command)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    if (!entry)
        return UNIT_STATUS_BAD_ARGUMENT;
    return UnitRunOnEntry(*entry, command);
}
