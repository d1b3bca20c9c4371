// Finding units: every SCSI generic device in numeric order is opened, given the named mutex of its
// SCSI address, asked for its INQUIRY data and offered to the caller's filter; the accepted ones get
// a discovery number and are then ordered by SCSI address.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/sg/sg_units.h"
#include "platform/posix_errors.h"
#include "platform/system_table.h"

namespace {

// Named after the device, so that every process serialises on the same unit whatever order it
// found the units in: its SCSI address, or the number of its sgN node when the address is unknown.
const char MUTEX_NAME_BY_ADDRESS[] = "mutexSgIo/%s/%u:%u:%u:%u";
const char MUTEX_NAME_BY_NODE[] = "mutexSgIo/%s/sg%u";

// The unit's mutex name; false when it does not fit in MAX_PATH characters with its terminator.
bool FormatMutexName(char (&name)[MAX_PATH], const char* deviceClass, const SgIoUnit& unit)
{
    const SgScsiAddress& at = unit.address;
    int length = unit.addressKnown
                     ? std::snprintf(name, sizeof name, MUTEX_NAME_BY_ADDRESS, deviceClass, unsigned(at.host),
                                     unsigned(at.channel), unsigned(at.id), unsigned(at.lun))
                     : std::snprintf(name, sizeof name, MUTEX_NAME_BY_NODE, deviceClass, unit.deviceNumber);
    return length >= 0 && length < static_cast<int>(sizeof name);
}

// True when the longest name a unit can have fits: the class is not too long for any unit.
bool EveryMutexNameFits(const char* deviceClass)
{
    SgIoUnit widest = {};
    widest.addressKnown = true;
    widest.address = {-1, -1, -1, -1};  // four fields of ten digits each
    char name[MAX_PATH];
    return FormatMutexName(name, deviceClass, widest);
}

// The unit's mutex. Every user's process may open it: the lock files behind named mutexes are
// created for everyone.
bool CreateUnitMutex(SgIoUnit* unit, const char* deviceClass)
{
    char name[MAX_PATH];
    if (!FormatMutexName(name, deviceClass, *unit)) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    unit->mutex = g_sys.CreateMutexA(nullptr, FALSE, name);
    return unit->mutex != nullptr;
}

void CloseUnitMutex(SgIoUnit* unit)
{
    if (unit->mutex != nullptr)
        g_sys.CloseHandle(unit->mutex);
    unit->mutex = nullptr;
}

enum ProbeResult { PROBE_ACCEPTED, PROBE_REFUSED, PROBE_FAILED };

// Opens the candidate, reads its address, takes its mutex and its INQUIRY data, and lets the filter
// judge it. A candidate that cannot be opened, does not answer or is refused is left closed and
// without a mutex; PROBE_FAILED (reason in the last error) when its mutex cannot be had.
ProbeResult Probe(SgIoUnit* unit, unsigned deviceNumber, HostIoFilter filter, const char* deviceClass)
{
    unit->fd = -1;
    unit->blockFd = -1;
    unit->locked = false;
    unit->deviceNumber = deviceNumber;
    unit->addressKnown = false;
    std::memset(&unit->address, 0, sizeof unit->address);
    // Cleared, so that a short answer leaves zeros rather than an earlier candidate's bytes.
    std::memset(unit->inquiry, 0, sizeof unit->inquiry);
    if (SgIoOpen(unit) < 0)
        return PROBE_REFUSED;
    unit->addressKnown = g_sgDevices.GetScsiAddress(unit->fd, &unit->address) == 0;
    if (!CreateUnitMutex(unit, deviceClass)) {
        DWORD error = g_sys.GetLastError();
        SgIoClose(unit);
        g_sys.SetLastError(error);
        return PROBE_FAILED;
    }

    // INQUIRY, 36 bytes. The LUN field of byte 1 stays 0: the kernel fills it in for the old
    // devices that want it.
    std::memset(unit->cdb, 0, sizeof unit->cdb);
    unit->cdb[0] = 0x12;
    unit->cdb[4] = 36;
    UnitStatus status = SgIoRun(unit, UnitDataIn, 6, unit->inquiry, 36);
    bool accepted = status == 0 && (filter == nullptr || filter(unit->inquiry) != 0);
    SgIoClose(unit);
    if (!accepted)
        CloseUnitMutex(unit);
    return accepted ? PROBE_ACCEPTED : PROBE_REFUSED;
}

// Units whose address is known first, then by host, channel, target id and LUN.
bool AddressOrder(const SgIoUnit& a, const SgIoUnit& b)
{
    if (a.addressKnown != b.addressKnown)
        return a.addressKnown;
    const SgScsiAddress& x = a.address;
    const SgScsiAddress& y = b.address;
    if (x.host != y.host)
        return x.host < y.host;
    if (x.channel != y.channel)
        return x.channel < y.channel;
    if (x.id != y.id)
        return x.id < y.id;
    return x.lun < y.lun;
}

}  // namespace

DWORD SgIoEnumerate(HostIoFilter filter, const char* deviceClass)
{
    SgIoCloseAll();
    g_sgUnitCount = 0;
    if (deviceClass == nullptr || deviceClass[0] == '\0') {
        g_sys.SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    // A class name too long for some unit's mutex name finds no unit at all.
    if (!EveryMutexNameFits(deviceClass)) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    std::vector<unsigned> candidates;
    int listed = g_sgDevices.ListDevices(&candidates);
    if (listed < 0) {
        g_sys.SetLastError(PosixErrorFromErrno(-listed));
        return 0;
    }
    for (unsigned deviceNumber : candidates) {
        if (g_sgUnitCount == SG_UNIT_MAX)
            break;
        SgIoUnit* unit = &g_sgUnits[g_sgUnitCount];
        ProbeResult probed = Probe(unit, deviceNumber, filter, deviceClass);
        if (probed == PROBE_FAILED) {
            DWORD error = g_sys.GetLastError();
            SgIoCloseAll();
            g_sgUnitCount = 0;
            g_sys.SetLastError(error);
            return 0;
        }
        if (probed == PROBE_ACCEPTED) {
            unit->discoveryNumber = g_sgUnitCount;
            ++g_sgUnitCount;
        }
    }
    // The mutex moves with its record.
    std::stable_sort(g_sgUnits, g_sgUnits + g_sgUnitCount, AddressOrder);
    g_sys.SetLastError(ERROR_SUCCESS);
    return g_sgUnitCount;
}
