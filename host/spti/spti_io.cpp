// Commands, volume locks and medium operations on the units of the pass-through transport, and the
// ten host-interface operations built from them.
#include "host/spti/spti_io.h"

#include <cstring>

#include "host/command_rules.h"
#include "host/sense_status.h"
#include "host/shared_mutex.h"
#include "platform/system_table.h"

SptiIoState g_sptiIo;

namespace {

// The unit at `index`, or null with ERROR_FILE_NOT_FOUND.
SptiIoUnit* UnitAt(DWORD index)
{
    return HostIoRecordAt(g_sptiIo.units, g_sptiIo.count, index);
}

// The unit at `index` with its device open; null with the reason in the last error.
SptiIoUnit* OpenUnitAt(DWORD index)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit || (!unit->device && !SptiIoOpen(unit)))
        return nullptr;
    return unit;
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

// A medium operation on the unit at `index`: its device opened for it (0 when it cannot be), and
// closed again afterwards unless the volume is locked.
template <typename Operation>
BOOL OnOpenDevice(DWORD index, Operation operation)
{
    SptiIoUnit* unit = OpenUnitAt(index);
    if (!unit)
        return 0;
    BOOL result = operation(unit);
    CloseUnlessLocked(unit);
    return result;
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
            return UNIT_STATUS_NOT_CARRIED;
        DWORD now = g_sys.GetTickCount();
        if (!failedBefore) {
            failedBefore = true;
            firstFailure = now;
        }
        if (now - firstFailure >= SPTI_IO_RETRY_LIMIT)
            return UNIT_STATUS_NOT_CARRIED;
        g_sys.Sleep(SPTI_IO_RETRY_INTERVAL);
    }
}

BOOL SptiIoTerm(void)
{
    for (DWORD i = 0; i < g_sptiIo.count; ++i)
        SptiIoClose(&g_sptiIo.units[i]);
    g_sptiIo.count = 0;
    HostIoCloseEach(g_sptiIo.units, SPTI_IO_MAX_UNITS, &SptiIoUnit::mutex);
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
        return UNIT_STATUS_BAD_ARGUMENT;
    return SptiIoExecute(unit, static_cast<BYTE>(direction), static_cast<BYTE>(cdbLength), data, length);
}

// Stores a field of the unit at `index` through `value` when it is not null; 0 for a bad index.
template <typename Field>
BOOL StoreField(DWORD index, DWORD* value, Field SptiIoUnit::*field)
{
    SptiIoUnit* unit = UnitAt(index);
    if (!unit)
        return 0;
    if (value)
        *value = static_cast<DWORD>(unit->*field);
    return 1;
}

BOOL SptiIoGetDriveLetter(DWORD index, DWORD* letter)
{
    return StoreField(index, letter, &SptiIoUnit::driveLetter);
}

BOOL SptiIoGetDeviceNumber(DWORD index, DWORD* number)
{
    return StoreField(index, number, &SptiIoUnit::number);
}

BOOL SptiIoLoadMedium(DWORD index)
{
    return OnOpenDevice(index, [](SptiIoUnit* unit) { return Control(unit, IOCTL_DISK_LOAD_MEDIA); });
}

// Dismounts and ejects under a volume lock: the transport's own, or one taken for this alone.
BOOL SptiIoEjectMedium(DWORD index)
{
    return OnOpenDevice(index, [](SptiIoUnit* unit) {
        BOOL lockedHere = !unit->volumeLocked && Control(unit, FSCTL_LOCK_VOLUME);
        if (unit->volumeLocked || lockedHere)
            Control(unit, FSCTL_DISMOUNT_VOLUME);
        BOOL ejected = Control(unit, IOCTL_DISK_EJECT_MEDIA);
        if (lockedHere)
            Control(unit, FSCTL_UNLOCK_VOLUME);
        return ejected;
    });
}

BOOL SptiIoLock(DWORD index)
{
    SptiIoUnit* unit = OpenUnitAt(index);
    if (!unit)
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
    if (!HostIoCdbLengthValid(cdbLength))
        return UNIT_STATUS_BAD_ARGUMENT;
    FillBlock(unit, direction, cdbLength, data, length);
    if (!HostIoTakeUnitMutex(unit->mutex, SPTI_IO_MUTEX_WAIT))
        return UNIT_STATUS_BUSY;
    if (!unit->device && !SptiIoOpen(unit)) {
        DWORD openError = g_sys.GetLastError();
        g_sys.ReleaseMutex(unit->mutex);
        g_sys.SetLastError(openError);
        return UNIT_STATUS_NOT_CARRIED;
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
