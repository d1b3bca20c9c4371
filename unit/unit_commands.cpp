// INQUIRY and the configuration command.
#include "unit/unit_commands.h"

#include "unit/unit_command_runner.h"

namespace {

// Statuses of the configuration command that count as success: NOT READY and UNIT ATTENTION with no
// additional sense code.
const UnitStatus CONFIGURATION_NOT_READY = 2;
const UnitStatus CONFIGURATION_UNIT_ATTENTION = 6;

}  // namespace

UnitStatus UnitInquiry(DWORD unit, BYTE* inquiry)
{
    const UnitCommand command = {
        {0x12, 0x00, 0x00, 0x00, UNIT_INQUIRY_LENGTH, 0x00}, 6, UnitDataIn, inquiry, UNIT_INQUIRY_LENGTH,
        UNIT_RETRY_NONE};
    return UnitRun(unit, command);
}

UnitStatus UnitConfigurationCommand(DWORD unit, DWORD* value)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || !value)
        return UNIT_STATUS_BAD_ARGUMENT;
    BYTE* area = UnitCdbArea(*entry);
    if (!area)
        return UNIT_STATUS_BAD_ARGUMENT;
    const DWORD cached = entry->configuration;
    BYTE data[4] = {BYTE(cached), BYTE(cached >> 8), BYTE(cached >> 16), BYTE(cached >> 24)};
    const UnitCommand command = {{0x13, 0x00, 0x00, 0x00, 0x04, 0x00}, 6, UnitDataIn, data, 4, UNIT_RETRY_NONE};
    const UnitStatus status = UnitRunInArea(*entry, area, command);
    // These two count as success without the unit's data: whatever a failed data phase left in
    // the buffer (the vendor USB driver's, for one) is not the unit's value, the cached one stands.
    if (status == CONFIGURATION_NOT_READY || status == CONFIGURATION_UNIT_ATTENTION) {
        *value = cached;
        return 0;
    }
    *value = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
    return status;
}

UnitStatus UnitReadConfiguration(DWORD unit, DWORD* value)
{
    UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || !value)
        return UNIT_STATUS_BAD_ARGUMENT;
    const UnitStatus status = UnitConfigurationCommand(unit, value);
    if (status == UNIT_STATUS_BUSY) {
        *value = entry->configuration;
        return 0;
    }
    if (status == 0)
        entry->configuration = *value;
    return status;
}
