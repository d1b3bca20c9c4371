// Commands, volume locks and medium operations on the units of the pass-through transport, and the
// ten host-interface operations built from them.
#include "host/spti/spti_io.h"

#include <cstring>

#include "host/sense_status.h"
#include "platform/system_table.h"

SptiIoState g_sptiIo;

namespace {

// The unit at `index`, or null with ERROR_FILE_NOT_FOUND.
SptiIoUnit* UnitAt(DWORD index)
{
    if (index >= g_sptiIo.count) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return &g_sptiIo.units[index];
}

// A control code without buffers on the unit's open handle.
BOOL Control(SptiIoUnit* unit, DWORD code)
{
    DWORD returned = 0;
    return g_sys.DeviceIoControl(unit->device, code, nullptr, 0, nullptr, 0, &returned, nullptr);
}

void CloseUnlessLocked(SptiIoUnit* unit)
{
    if (!unit->volumeLocked)
        SptiIoClose(unit);
}

void FillBlock(SptiIoUnit* unit, BYTE direction, BYTE cdbLength, void* data, DWORD length)
{
    SCSI_PASS_THROUGH_DIRECT& request = unit->block.request;
    request.Length = sizeof(SCSI_PASS_THROUGH_DIRECT);
    // Cleared so that a status byte left by the previous command is never taken for this one's.
    request.ScsiStatus = 0;
    request.PathId = unit->address.PathId;
    request.TargetId = unit->address.TargetId;
    request.Lun = unit->address.Lun;
    request.CdbLength = cdbLength;
    request.SenseInfoLength = SPTI_IO_SENSE_LENGTH;
    request.DataIn = direction == UnitDataIn    ? SCSI_IOCTL_DATA_IN
                     : direction == UnitDataOut ? SCSI_IOCTL_DATA_OUT
                                                : SCSI_IOCTL_DATA_UNSPECIFIED;
    request.DataTransferLength = length;
    request.TimeOutValue = SPTI_IO_TIMEOUT;
    request.DataBuffer = data;
    request.SenseInfoOffset = offsetof(SptiIoBlock, sense);
    std::memset(unit->block.sense, 0, sizeof unit->block.sense);
}

// The request on the open handle, repeated every 100 ms while the driver reports ERROR_GEN_FAILURE,
// for at most 32 s after the first such report. Returns the unit status.
UnitStatus PassThrough(SptiIoUnit* unit)
{
    DWORD firstFailure = 0;
    bool failedBefore = false;
    for (;;) {
        DWORD returned = 0;
        if (g_sys.DeviceIoControl(unit->device, IOCTL_SCSI_PASS_THROUGH_DIRECT, &unit->block, sizeof unit->block,
                                  &unit->block, sizeof unit->block, &returned, nullptr)) {
            return HostIoCommandStatus(unit->block.sense, sizeof unit->block.sense,
                                       HostIoScsiStatusCompleted(unit->block.request.ScsiStatus));
        }
        if (g_sys.GetLastError() != ERROR_GEN_FAILURE)
            return 4;
        DWORD now = g_sys.GetTickCount();
        if (!failedBefore) {
            failedBefore = true;
            firstFailure = now;
        }
        if (now - firstFailure >= SPTI_IO_RETRY_LIMIT)
            return 4;
        g_sys.Sleep(SPTI_IO_RETRY_INTERVAL);
    }
}

BOOL SptiIoTerm(void)
{
    for (DWORD i = 0; i < g_sptiIo.count; ++i)
        SptiIoClose(&g_sptiIo.units[i]);
    g_sptiIo.count = 0;
    for (SptiIoUnit& unit : g_sptiIo.units) {
        if (unit.mutex) {
            g_sys.CloseHandle(unit.mutex);
            unit.mutex = nullptr;
        }
    }
    return 1;
}

BYTE* SptiIoGetCdb(DWORD index)
{
    SptiIoUnit* unit = UnitAt(index);
    return unit ? unit->block.request.Cdb : nullptr;
}

UnitStatus SptiIoExecuteAt(DWORD index, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit)
        return 5;
    return SptiIoExecute(unit, static_cast<BYTE>(direction), static_cast<BYTE>(cdbLength), data, length);
}

BOOL SptiIoGetDriveLetter(DWORD index, DWORD* letter)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit)
        return 0;
    if (letter)
        *letter = static_cast<DWORD>(unit->driveLetter);
    return 1;
}

BOOL SptiIoGetDeviceNumber(DWORD index, DWORD* number)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit)
        return 0;
    if (number)
        *number = unit->number;
    return 1;
}

BOOL SptiIoLoadMedium(DWORD index)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit || (!unit->device && !SptiIoOpen(unit)))
        return 0;
    BOOL loaded = Control(unit, IOCTL_DISK_LOAD_MEDIA);
    CloseUnlessLocked(unit);
    return loaded;
}

// Dismounts and ejects under a volume lock: the transport's own, or one taken for this alone.
BOOL SptiIoEjectMedium(DWORD index)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit || (!unit->device && !SptiIoOpen(unit)))
        return 0;
    BOOL lockedHere = !unit->volumeLocked && Control(unit, FSCTL_LOCK_VOLUME);
    if (unit->volumeLocked || lockedHere)
        Control(unit, FSCTL_DISMOUNT_VOLUME);
    BOOL ejected = Control(unit, IOCTL_DISK_EJECT_MEDIA);
    if (lockedHere)
        Control(unit, FSCTL_UNLOCK_VOLUME);
    CloseUnlessLocked(unit);
    return ejected;
}

BOOL SptiIoLock(DWORD index)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit || (!unit->device && !SptiIoOpen(unit)))
        return 0;
    if (!SptiIoLockVolume(unit)) {
        SptiIoClose(unit);
        return 0;
    }
    return 1;
}

BOOL SptiIoUnlock(DWORD index)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit)
        return 0;
    SptiIoClose(unit);
    return 1;
}

const HostInterface s_sptiIoInterface = {
    SptiIoTerm,          SptiIoEnumerate,   SptiIoGetCdb,      SptiIoExecuteAt, SptiIoGetDriveLetter,
    SptiIoGetDeviceNumber, SptiIoLoadMedium, SptiIoEjectMedium, SptiIoLock,      SptiIoUnlock,
};

}  // namespace

BOOL SptiIoInit(void)
{
    g_sptiIo.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    g_sys.GetVersionExA(&g_sptiIo.version);
    return 1;
}

const HostInterface* SptiIoInterface(void)
{
    return &s_sptiIoInterface;
}

BOOL SptiIoOpen(SptiIoUnit* unit)
{
    HANDLE device = g_sys.CreateFileA(unit->devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    unit->device = device == INVALID_HANDLE_VALUE ? nullptr : device;
    return unit->device != nullptr;
}

UnitStatus SptiIoExecute(SptiIoUnit* unit, BYTE direction, BYTE cdbLength, void* data, DWORD length)
{
    FillBlock(unit, direction, cdbLength, data, length);
    DWORD wait = g_sys.WaitForSingleObject(unit->mutex, SPTI_IO_MUTEX_WAIT);
    if (wait != WAIT_OBJECT_0) {
        // An abandoned mutex counts as not obtained, but the wait made it ours: give it back.
        if (wait == WAIT_ABANDONED)
            g_sys.ReleaseMutex(unit->mutex);
        return 11;
    }
    if (!unit->device && !SptiIoOpen(unit)) {
        DWORD openError = g_sys.GetLastError();
        g_sys.ReleaseMutex(unit->mutex);
        g_sys.SetLastError(openError);
        return 4;
    }
    UnitStatus status = PassThrough(unit);
    CloseUnlessLocked(unit);
    g_sys.ReleaseMutex(unit->mutex);
    return status;
}

BOOL SptiIoLockVolume(SptiIoUnit* unit)
{
    if (!unit->device)
        return 0;
    if (unit->volumeLocked)
        return 1;
    DWORD slept = 0;
    for (int attempt = 0; attempt < SPTI_IO_LOCK_TRIES && slept < SPTI_IO_LOCK_LIMIT; ++attempt) {
        if (Control(unit, FSCTL_LOCK_VOLUME)) {
            unit->volumeLocked = 1;
            return 1;
        }
        g_sys.Sleep(SPTI_IO_LOCK_INTERVAL);
        slept += SPTI_IO_LOCK_INTERVAL;
    }
    unit->volumeLocked = 0;
    return 0;
}

BOOL SptiIoUnlockVolume(SptiIoUnit* unit)
{
    if (!unit->device || !unit->volumeLocked)
        return 1;
    BOOL unlocked = Control(unit, FSCTL_UNLOCK_VOLUME);
    if (unlocked)
        unit->volumeLocked = 0;
    return unlocked;
}

void SptiIoClose(SptiIoUnit* unit)
{
    if (!unit->device)
        return;
    if (unit->volumeLocked)
        SptiIoUnlockVolume(unit);
    g_sys.CloseHandle(unit->device);
    unit->volumeLocked = 0;
    unit->device = nullptr;
}
