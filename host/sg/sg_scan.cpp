// Finding units: every SCSI generic device in numeric order is opened, asked for its INQUIRY data
// and offered to the caller's filter; the accepted ones get a discovery number and a named mutex
// and are then ordered by SCSI address.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "host/sg/sg_units.h"
#include "platform/posix_errors.h"
#include "platform/system_table.h"

namespace {

const char MUTEX_NAME_FORMAT[] = "mutexSgIo/%s/Device%u";

// False when the name does not fit in MAX_PATH characters with its terminator.
bool FormatMutexName(char (&name)[MAX_PATH], const char* deviceClass, DWORD number)
{
    int length = std::snprintf(name, sizeof name, MUTEX_NAME_FORMAT, deviceClass, static_cast<unsigned>(number));
    return length >= 0 && length < static_cast<int>(sizeof name);
}

// The mutex of the record that the next accepted unit will take. Every user's process may open
// it: the lock files behind named mutexes are created for everyone.
bool CreateUnitMutex(SgIoUnit* unit, const char* deviceClass, DWORD number)
{
    char name[MAX_PATH];
    if (!FormatMutexName(name, deviceClass, number)) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    unit->mutex = g_sys.CreateMutexA(nullptr, FALSE, name);
    return unit->mutex != nullptr;
}

// Opens the candidate, reads its address and INQUIRY data, and lets the filter judge it. A
// candidate that cannot be opened, does not answer or is refused is left closed.
bool Probe(SgIoUnit* unit, unsigned deviceNumber, HostIoFilter filter)
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
        return false;
    unit->addressKnown = g_sgDevices.GetScsiAddress(unit->fd, &unit->address) == 0;

    // INQUIRY, 36 bytes. The LUN field of byte 1 stays 0: the kernel fills it in for the old
    // devices that want it.
    std::memset(unit->cdb, 0, sizeof unit->cdb);
    unit->cdb[0] = 0x12;
    unit->cdb[4] = 36;
    UnitStatus status = SgIoRun(unit, UnitDataIn, 6, unit->inquiry, 36);
    bool accepted = status == 0 && (filter == nullptr || filter(unit->inquiry) != 0);
    SgIoClose(unit);
    return accepted;
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
    // A class name too long for the last unit's mutex name finds no unit at all.
    char longest[MAX_PATH];
    if (!FormatMutexName(longest, deviceClass, SG_UNIT_MAX - 1)) {
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
        if (unit->mutex == nullptr && !CreateUnitMutex(unit, deviceClass, g_sgUnitCount)) {
            DWORD error = g_sys.GetLastError();
            SgIoCloseAll();
            g_sgUnitCount = 0;
            g_sys.SetLastError(error);
            return 0;
        }
        if (Probe(unit, deviceNumber, filter)) {
            unit->discoveryNumber = g_sgUnitCount;
            ++g_sgUnitCount;
        }
    }
    // The record after the last accepted one may hold the mutex of a refused candidate.
    for (DWORD i = g_sgUnitCount; i < SG_UNIT_MAX; ++i) {
        if (g_sgUnits[i].mutex != nullptr)
            g_sys.CloseHandle(g_sgUnits[i].mutex);
        g_sgUnits[i].mutex = nullptr;
    }
    // The mutex moves with its record, so a unit keeps the one named after its discovery number.
    std::stable_sort(g_sgUnits, g_sgUnits + g_sgUnitCount, AddressOrder);
    g_sys.SetLastError(ERROR_SUCCESS);
    return g_sgUnitCount;
}
