// The host-interface operations of the SCSI generic transport.
#include "host/sg/sg_io.h"

#include <cerrno>
#include <cstring>

#include "host/command_rules.h"
#include "host/sg/sg_units.h"
#include "platform/posix_errors.h"
#include "platform/system_table.h"

namespace {

// START STOP UNIT byte 4: LoEj with Start loads, LoEj alone ejects.
const BYTE LOAD_AND_START = 0x03;
const BYTE EJECT_AND_STOP = 0x02;

// An exclusive open refused because the disk is in use is tried again, as a volume lock is.
const int LOCK_TRIES = 16;
const DWORD LOCK_RETRY_PAUSE_MS = 500;

BOOL SgIoTerm(void)
{
    SgIoCloseAll();
    g_sgUnitCount = 0;
    return TRUE;
}

BYTE* SgIoGetCdb(DWORD unit)
{
    SgIoUnit* record = SgIoUnitAt(unit);
    return record ? record->cdb : nullptr;
}

UnitStatus SgIoExecute(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    SgIoUnit* record = SgIoUnitAt(unit);
    return record ? SgIoRun(record, direction, cdbLength, data, length) : UNIT_STATUS_BAD_ARGUMENT;
}

BOOL SgIoGetDriveLetter(DWORD unit, DWORD*)
{
    if (!SgIoUnitAt(unit))
        return FALSE;
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL SgIoGetDeviceNumber(DWORD unit, DWORD* number)
{
    SgIoUnit* record = SgIoUnitAt(unit);
    if (!record)
        return FALSE;
    if (number)
        *number = record->discoveryNumber;
    return TRUE;
}

// START STOP UNIT, judged by its sense key as the host transports judge it.
BOOL StartStopUnit(DWORD unit, BYTE action)
{
    SgIoUnit* record = SgIoUnitAt(unit);
    if (!record)
        return FALSE;
    std::memset(record->cdb, 0, sizeof record->cdb);
    record->cdb[0] = 0x1B;
    record->cdb[4] = action;
    return HostIoStartStopVerdict(SgIoRun(record, UnitNoData, 6, nullptr, 0));
}

BOOL SgIoLoadMedium(DWORD unit) { return StartStopUnit(unit, LOAD_AND_START); }
BOOL SgIoEjectMedium(DWORD unit) { return StartStopUnit(unit, EJECT_AND_STOP); }

// Keeps the device open for the following commands and holds its block device, when it has one,
// open exclusively, so that nothing mounts or opens the disk exclusively meanwhile.
BOOL SgIoLock(DWORD unit)
{
    SgIoUnit* record = SgIoUnitAt(unit);
    if (!record)
        return FALSE;
    if (record->locked)
        return TRUE;
    int result = SgIoOpen(record);
    if (result == 0) {
        for (int attempt = 1;; ++attempt) {
            result = g_sgDevices.OpenBlockExclusive(record->deviceNumber, &record->blockFd);
            if (result != -EBUSY || attempt == LOCK_TRIES)
                break;
            g_sys.Sleep(LOCK_RETRY_PAUSE_MS);
        }
    }
    if (result < 0) {
        record->blockFd = -1;
        SgIoClose(record);
        g_sys.SetLastError(PosixErrorFromErrno(-result));
        return FALSE;
    }
    record->locked = true;
    return TRUE;
}

BOOL SgIoUnlock(DWORD unit)
{
    SgIoUnit* record = SgIoUnitAt(unit);
    if (!record)
        return FALSE;
    SgIoClose(record);
    return TRUE;
}

const HostInterface SG_IO_OPERATIONS = {
    SgIoTerm,           SgIoEnumerate,   SgIoGetCdb,      SgIoExecute, SgIoGetDriveLetter,
    SgIoGetDeviceNumber, SgIoLoadMedium, SgIoEjectMedium, SgIoLock,    SgIoUnlock,
};

}  // namespace

int SgIoInit(void)
{
    return 1;
}

const HostInterface* SgIoOperations(void)
{
    return &SG_IO_OPERATIONS;
}
