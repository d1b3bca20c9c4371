// Discovery for the ASPI transport: the per-record mutex set, the scan of host adapters, targets and
// LUNs, and the probe of one candidate.
#include <cstdio>
#include <cstring>

#include "host/aspi/aspi_io.h"
#include "host/shared_mutex.h"
#include "platform/system_table.h"

namespace {

// Asks the manager about adapter `adapter`; true when it answered SS_COMP.
bool InquireAdapter(BYTE adapter)
{
    SRB_HAInquiry& inquiry = g_aspiIo.adapters[adapter];
    std::memset(&inquiry, 0, sizeof inquiry);
    inquiry.SRB_Cmd = SC_HA_INQUIRY;
    inquiry.SRB_HaId = adapter;
    g_aspiIo.sendCommand(&inquiry);
    return inquiry.SRB_Status == SS_COMP;
}

}  // namespace

DWORD AspiIoEnumerate(HostIoFilter filter, const char* deviceClass)
{
    AspiIoReleaseVolumeLocks();
    g_aspiIo.count = 0;
    // One mutex per record, "mutexAspiIo/<device class>/Device<N>": opened when another process made
    // it already, created (open to every account) otherwise.
    if (!HostIoBuildMutexSet(g_aspiIo.units, ASPI_IO_MAX_UNITS, "AspiIo", deviceClass,
                             SHARED_MUTEX_OPEN_FIRST))
        return 0;
    if (!filter)
        filter = HostIoAcceptAll;
    DWORD support = g_aspiIo.getSupportInfo();
    g_aspiIo.adapterCount = ASPI_SUPPORT_STATUS(support) == SS_COMP ? ASPI_SUPPORT_ADAPTERS(support) : 0;
    const DWORD scanned = g_aspiIo.adapterCount < ASPI_IO_MAX_ADAPTERS ? g_aspiIo.adapterCount : ASPI_IO_MAX_ADAPTERS;
    for (DWORD adapter = 0; adapter < scanned; ++adapter) {
        if (!InquireAdapter(static_cast<BYTE>(adapter)))
            continue;
        // Every target, the adapter's own id included.
        for (BYTE target = 0; target < ASPI_IO_TARGETS; ++target) {
            for (BYTE lun = 0; lun < ASPI_IO_LUNS; ++lun) {
                if (g_aspiIo.count >= ASPI_IO_MAX_UNITS)
                    return g_aspiIo.count;
                if (AspiIoProbe(filter, static_cast<BYTE>(adapter), target, lun))
                    ++g_aspiIo.count;
            }
        }
    }
    return g_aspiIo.count;
}

BOOL AspiIoProbe(HostIoFilter filter, BYTE adapter, BYTE target, BYTE lun)
{
    if (g_aspiIo.count >= ASPI_IO_MAX_UNITS || adapter >= ASPI_IO_MAX_ADAPTERS)
        return FALSE;
    if (!filter)
        filter = HostIoAcceptAll;
    AspiIoUnit* unit = &g_aspiIo.units[g_aspiIo.count];
    unit->adapter = g_aspiIo.adapters[adapter].SRB_HaId;
    unit->target = target;
    unit->lun = lun;

    // A target where no device answers leaves the buffer cleared, which no filter accepts.
    std::memset(unit->inquiry, 0, sizeof unit->inquiry);
    BYTE* cdb = unit->request.CDBByte;
    std::memset(cdb, 0, sizeof unit->request.CDBByte);
    cdb[0] = 0x12;  // INQUIRY
    cdb[1] = static_cast<BYTE>(lun << 5);
    cdb[4] = 36;
    if (AspiIoExecute(unit, UnitDataIn, 6, unit->inquiry, 36) != 0 || !filter(unit->inquiry))
        return FALSE;
    unit->driveLetter = AspiIoFindDriveLetter(filter, unit);
    return TRUE;
}
