// Unit records of the SCSI generic transport and the one way a command reaches a unit.
#include "host/sg/sg_units.h"

#include <cerrno>
#include <cstring>

#include "host/sg/signal_hold.h"
#include "host/sg/sg_status.h"
#include "platform/posix_errors.h"
#include "platform/system_table.h"

SgIoUnit g_sgUnits[SG_UNIT_MAX];
DWORD g_sgUnitCount = 0;

namespace {

SgTransfer TransferOf(DWORD direction)
{
    switch (direction & 0xFF) {
    case UnitDataIn: return SgTransferIn;
    case UnitDataOut: return SgTransferOut;
    default: return SgTransferNone;
    }
}

}  // namespace

SgIoUnit* SgIoUnitAt(DWORD unit)
{
    if (unit >= g_sgUnitCount) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return &g_sgUnits[unit];
}

int SgIoOpen(SgIoUnit* unit)
{
    if (unit->fd >= 0)
        return 0;
    int fd = g_sgDevices.Open(unit->deviceNumber);
    if (fd < 0)
        return fd;
    unit->fd = fd;
    return 0;
}

void SgIoClose(SgIoUnit* unit)
{
    if (unit->blockFd >= 0)
        g_sgDevices.Close(unit->blockFd);
    if (unit->fd >= 0)
        g_sgDevices.Close(unit->fd);
    unit->blockFd = -1;
    unit->fd = -1;
    unit->locked = false;
}

void SgIoCloseAll(void)
{
    for (DWORD i = 0; i < g_sgUnitCount; ++i)
        SgIoClose(&g_sgUnits[i]);
    for (SgIoUnit& unit : g_sgUnits) {
        if (unit.mutex != nullptr)
            g_sys.CloseHandle(unit.mutex);
        unit.mutex = nullptr;
    }
}

UnitStatus SgIoRun(SgIoUnit* unit, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    SgRequest request;
    std::memset(&request, 0, sizeof request);
    request.transfer = TransferOf(direction);
    request.cdb = unit->cdb;
    request.cdbLength = static_cast<BYTE>(cdbLength & 0xFF);
    request.data = request.transfer == SgTransferNone ? nullptr : data;
    request.length = request.transfer == SgTransferNone ? 0 : length;
    request.sense = unit->sense;
    request.senseCapacity = sizeof unit->sense;
    request.timeoutMs = SG_COMMAND_TIMEOUT_MS;
    std::memset(unit->sense, 0, sizeof unit->sense);
    // The kernel would read a longer CDB beyond the area, or write through a missing buffer.
    if (request.cdbLength == 0 || request.cdbLength > sizeof unit->cdb ||
        (request.data == nullptr && request.length != 0))
        return 4;

    DWORD waited = g_sys.WaitForSingleObject(unit->mutex, SG_MUTEX_WAIT_MS);
    if (waited != WAIT_OBJECT_0) {
        // An abandoned mutex is ours now; give it back rather than keep it owned.
        if (waited == WAIT_ABANDONED)
            g_sys.ReleaseMutex(unit->mutex);
        return 11;
    }
    UnitStatus status = 4;
    int opened = SgIoOpen(unit);
    if (opened < 0) {
        g_sys.SetLastError(PosixErrorFromErrno(-opened));
    } else {
        // Sent once: no signal may interrupt and restart the request, and a failure (EINTR
        // included) ends the command with status 4 rather than sending it again.
        int ran;
        {
            SgSignalHold hold;
            ran = g_sgDevices.Execute(unit->fd, &request);
        }
        if (ran < 0)
            g_sys.SetLastError(PosixErrorFromErrno(-ran));
        else
            status = SgStatusOfRequest(request);
        if (!unit->locked)
            SgIoClose(unit);
    }
    g_sys.ReleaseMutex(unit->mutex);
    return status;
}
