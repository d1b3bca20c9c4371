// The transport's operations: opening and closing the per-device mutexes, and the per-unit
// operations bound into the unit table (execute with its repetitions, load and eject, and the
// operations these units do not have).
#include "unit/usb/zeku_io.h"

#include <cstdio>
#include <cstring>

#include "host/command_rules.h"
#include "host/shared_mutex.h"
#include "platform/system_table.h"
#include "unit/usb/zeku_io_device.h"

namespace {

// ASC 0x28/ASCQ 0x00 as the status block reports it, and as sense with UNIT ATTENTION.
const UnitStatus ZEKUIO_READY_CHANGE = 0x28000000u;
const UnitStatus ZEKUIO_READY_CHANGE_ATTENTION = 0x28000006u;

bool IsReadyChange(UnitStatus status)
{
    return status == ZEKUIO_READY_CHANGE || status == ZEKUIO_READY_CHANGE_ATTENTION;
}

// One command with its sense request: a failed data phase is judged by the sense the device then
// reports. A device that reports no sense at all has still not moved the data: the exchange failed.
UnitStatus IssueOnce(ZekuIoDevice* device, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    UnitStatus status = ZekuIoExchange(device, direction, cdbLength, data, length);
    if (status == ZEKUIO_SENSE_NEEDED) {
        status = ZekuIoRequestSense(device);
        if (status == 0)
            status = ZEKUIO_EXCHANGE_FAILED;
    }
    return status;
}

// START STOP UNIT with the given flags (3: load and start, 2: eject and stop), judged as a truth value.
BOOL StartStopUnit(DWORD index, BYTE flags)
{
    if (index >= ZEKUIO_MAX_DEVICES) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const BYTE cdb[6] = {0x1B, 0x00, 0x00, 0x00, flags, 0x00};
    std::memcpy(ZekuIoGetCdb(index), cdb, sizeof cdb);
    const UnitStatus status = ZekuIoExecute(index, UnitNoData, sizeof cdb, nullptr, 0);
    if (status == 0)
        return TRUE;
    // A status block with ASC/ASCQ but no sense key is a failure too.
    const BYTE senseKey = static_cast<BYTE>(status);
    g_sys.SetLastError(senseKey == 2 || senseKey == 6 ? ERROR_NOT_READY : ERROR_GEN_FAILURE);
    return FALSE;
}

}  // namespace

HANDLE ZekuIoCreateMutex(DWORD n)
{
    char name[32];
    std::snprintf(name, sizeof name, ZEKUIO_MUTEX_NAME_FORMAT, static_cast<unsigned>(n));
    return HostIoCreateSharedMutex(name, SHARED_MUTEX_LOCAL_ZEROED);
}

DWORD ZekuIoOpen(void)
{
    ZekuIoClose();
    for (DWORD n = 0; n < ZEKUIO_MAX_DEVICES; ++n) {
        g_zekuIo.mutexes[n] = ZekuIoCreateMutex(n);
        if (!g_zekuIo.mutexes[n]) {
            const DWORD error = g_sys.GetLastError();
            ZekuIoClose();
            g_sys.SetLastError(error);
            return 0;
        }
    }
    return 1;
}

void ZekuIoClose(void)
{
    for (HANDLE& mutex : g_zekuIo.mutexes)
        HostIoCloseHandle(&mutex);
}

BYTE* ZekuIoGetCdb(DWORD index)
{
    return index < ZEKUIO_MAX_DEVICES ? g_zekuIo.devices[index].request.cdb : nullptr;
}

UnitStatus ZekuIoExecute(DWORD index, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    // The request has room for 16 CDB bytes; a longer CDB would send bytes beyond it.
    if (index >= ZEKUIO_MAX_DEVICES || !HostIoCdbLengthValid(cdbLength))
        return UNIT_STATUS_BAD_ARGUMENT;
    HANDLE mutex = g_zekuIo.mutexes[index];
    if (!HostIoTakeUnitMutex(mutex, ZEKUIO_MUTEX_WAIT))
        return UNIT_STATUS_BUSY;
    ZekuIoDevice* device = ZekuIoOpenDevice(index);
    if (!device) {
        g_sys.ReleaseMutex(mutex);
        return UNIT_STATUS_BAD_ARGUMENT;
    }
    UnitStatus status = 0;
    for (int issued = 0; issued < ZEKUIO_MAX_ISSUES; ++issued) {
        status = IssueOnce(device, direction, cdbLength, data, length);
        if (!IsReadyChange(status))
            break;
    }
    ZekuIoCloseDevice(device);
    g_sys.ReleaseMutex(mutex);
    return status;
}

BOOL ZekuIoGetDriveLetter(DWORD, DWORD*)
{
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL ZekuIoGetDeviceNumber(DWORD, DWORD*)
{
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

BOOL ZekuIoLoadMedium(DWORD index)
{
    return StartStopUnit(index, 0x03);
}

BOOL ZekuIoEjectMedium(DWORD index)
{
    return StartStopUnit(index, 0x02);
}

BOOL ZekuIoLock(DWORD)
{
    return TRUE;
}

BOOL ZekuIoUnlock(DWORD)
{
    return TRUE;
}
