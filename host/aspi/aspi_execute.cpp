// Commands through the ASPI manager: the request block, the mutex and completion waits, the abort
// of a request that does not complete, the status, and START STOP UNIT for loading a medium.
#include <cstring>

#include "host/aspi/aspi_io.h"
#include "host/sense_status.h"
#include "platform/system_table.h"

namespace {

// Fills the record's request block for one command. The CDB stays as the caller wrote it. The
// status fields are cleared, so that a manager that does not write one never passes off the
// previous request's outcome as this one's.
void FillRequest(AspiIoUnit* unit, BYTE direction, BYTE cdbLength, void* data, DWORD length)
{
    SRB_ExecSCSICmd& request = unit->request;
    request.SRB_Cmd = SC_EXEC_SCSI_CMD;
    request.SRB_Status = SS_PENDING;
    request.SRB_HaStat = HASTAT_OK;
    request.SRB_TargStat = SCSISTAT_GOOD;
    request.SRB_HaId = unit->adapter;
    request.SRB_Flags = static_cast<BYTE>(SRB_EVENT_NOTIFY | (direction == UnitDataIn    ? SRB_DIR_IN
                                                              : direction == UnitDataOut ? SRB_DIR_OUT
                                                                                         : 0));
    request.SRB_Hdr_Rsvd = 0;
    request.SRB_Target = unit->target;
    request.SRB_Lun = unit->lun;
    request.SRB_Rsvd1 = 0;
    request.SRB_BufLen = length;
    request.SRB_BufPointer = static_cast<BYTE*>(data);
    request.SRB_SenseLen = SENSE_LEN;
    request.SRB_CDBLen = cdbLength;
    request.SRB_PostProc = unit->event;
    std::memset(request.SRB_Rsvd2, 0, 4);
    std::memset(request.SenseArea, 0, sizeof request.SenseArea);
}

// True when the manager ended the request with the command carried out by the target: completed,
// or an overrun/underrun of the data phase that the target itself completed.
bool CarriedOut(const SRB_ExecSCSICmd& request)
{
    if (request.SRB_Status == SS_COMP)
        return true;
    return request.SRB_Status == SS_ERR && request.SRB_HaStat == HASTAT_DO_DU &&
           HostIoScsiStatusCompleted(request.SRB_TargStat);
}


// True while a timed-out request is still held by the manager; one it has given back since frees
// the transport again.
bool RequestStillLost()
{
    if (g_aspiIo.lostRequest && g_aspiIo.lostRequest->request.SRB_Status == SS_PENDING)
        return true;
    g_aspiIo.lostRequest = nullptr;
    return false;
}

}  // namespace

UnitStatus AspiIoExecute(AspiIoUnit* unit, BYTE direction, BYTE cdbLength, void* data, DWORD length)
{
    if (RequestStillLost())
        return 4;
    FillRequest(unit, direction, cdbLength, data, length);
    DWORD wait = g_sys.WaitForSingleObject(unit->mutex, ASPI_IO_WAIT);
    if (wait != WAIT_OBJECT_0) {
        // An abandoned mutex counts as not obtained, but the wait made it ours: give it back.
        if (wait == WAIT_ABANDONED)
            g_sys.ReleaseMutex(unit->mutex);
        return 11;
    }
    SRB_ExecSCSICmd& request = unit->request;
    g_sys.ResetEvent(unit->event);
    if (g_aspiIo.sendCommand(&request) == SS_PENDING &&
        g_sys.WaitForSingleObject(unit->event, ASPI_IO_WAIT) != WAIT_OBJECT_0) {
        // Not completed in time, or the wait itself failed: the manager must let go of the block
        // (and of the caller's buffer) before either is used again.
        AspiIoAbort(unit);
        g_sys.ReleaseMutex(unit->mutex);
        return 4;
    }
    g_sys.ReleaseMutex(unit->mutex);
    if (request.SRB_Status == SS_PENDING) {
        request.SRB_Status = SS_ABORTED;
        return 4;
    }
    // Without sense data, only a request the manager completed counts as done; an adapter error,
    // a selection time-out or an aborted request never reached the unit, or not all of it.
    return HostIoCommandStatus(request.SenseArea, sizeof request.SenseArea, CarriedOut(request));
}

bool AspiIoAbort(AspiIoUnit* unit)
{
    SRB_Abort abort;
    std::memset(&abort, 0, sizeof abort);
    abort.SRB_Cmd = SC_ABORT_SRB;
    abort.SRB_HaId = unit->adapter;
    abort.SRB_ToAbort = &unit->request;
    // The abort's own status says only whether the manager took the abort; whether it gave the
    // request back shows in the request's status, which it writes before signalling the event.
    g_aspiIo.sendCommand(&abort);
    SRB_ExecSCSICmd& request = unit->request;
    if (request.SRB_Status == SS_PENDING)
        g_sys.WaitForSingleObject(unit->event, ASPI_IO_ABORT_WAIT);
    if (request.SRB_Status == SS_PENDING) {
        g_aspiIo.lostRequest = unit;
        return false;
    }
    request.SRB_Status = SS_ABORTED;
    return true;
}

BOOL AspiIoLoadMedium(AspiIoUnit* unit)
{
    BYTE* cdb = unit->request.CDBByte;
    std::memset(cdb, 0, sizeof unit->request.CDBByte);
    cdb[0] = 0x1B;  // START STOP UNIT
    cdb[1] = static_cast<BYTE>(unit->lun << 5);
    cdb[4] = 0x03;  // LoEj and Start
    switch (AspiIoExecute(unit, UnitNoData, 6, nullptr, 0) & 0xFF) {
    case 0:
        return 1;
    case 2:  // NOT READY
    case 6:  // UNIT ATTENTION
        g_sys.SetLastError(ERROR_NOT_READY);
        return 0;
    case 5:  // ILLEGAL REQUEST
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    default:
        g_sys.SetLastError(ERROR_BAD_UNIT);
        return 0;
    }
}
