#include "host/command_rules.h"

#include "platform/system_table.h"

bool HostIoCdbLengthValid(DWORD cdbLength)
{
    const DWORD length = cdbLength & 0xFF;
    return length >= 1 && length <= 16;
}

BOOL HostIoStartStopVerdict(UnitStatus status)
{
    switch (status & 0xFF) {
    case 0:
        return TRUE;
    case 2:  // NOT READY
    case 6:  // UNIT ATTENTION
        g_sys.SetLastError(ERROR_NOT_READY);
        return FALSE;
    case 5:  // ILLEGAL REQUEST
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    default:
        g_sys.SetLastError(ERROR_BAD_UNIT);
        return FALSE;
    }
}
