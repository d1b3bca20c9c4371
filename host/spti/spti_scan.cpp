// Discovery for the pass-through transport: the per-unit mutex set, the drive-letter and volume
// scans, the probe of one candidate and the order of the units found.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "host/shared_mutex.h"
#include "host/spti/spti_io.h"
#include "host/spti/volume_api.h"
#include "platform/system_table.h"

namespace {

bool SameTextIgnoringCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// True when a unit entered by drive letter has this volume name.
bool KnownVolume(const char* volumeName, DWORD letterUnits)
{
    for (DWORD i = 0; i < letterUnits; ++i) {
        if (SameTextIgnoringCase(g_sptiIo.units[i].volumeName, volumeName))
            return true;
    }
    return false;
}

// \\?\Volume{GUID}\ becomes the device path \\.\Volume{GUID}. A name shorter than that form, or
// without its closing backslash, is not a volume name this can be done to.
bool DevicePathFromVolumeName(char* path)
{
    size_t length = strnlen(path, SPTI_IO_PATH_LENGTH);
    if (length < 6 || length >= SPTI_IO_PATH_LENGTH || path[length - 1] != '\\')
        return false;
    path[2] = '.';
    path[length - 1] = '\0';
    return true;
}

void ScanDriveLetters(HostIoFilter filter)
{
    for (char letter = 'C'; letter <= 'Z' && g_sptiIo.count < SPTI_IO_MAX_UNITS; ++letter) {
        if (!(g_sys.GetLogicalDrives() & (1u << (letter - 'A'))))
            continue;
        char root[4] = {letter, ':', '\\', '\0'};
        if (g_sys.GetDriveTypeA(root) != DRIVE_REMOVABLE)
            continue;
        SptiIoUnit* unit = &g_sptiIo.units[g_sptiIo.count];
        unit->driveLetter = letter;
        if (!SptiIoProbe(filter, unit))
            continue;
        unit->volumeName[0] = '\0';
        if (!VolumeApiGetVolumeNameForVolumeMountPointA(root, unit->volumeName, SPTI_IO_PATH_LENGTH))
            unit->volumeName[0] = '\0';
        unit->volumeName[SPTI_IO_PATH_LENGTH - 1] = '\0';
        unit->number = g_sptiIo.count++;
    }
}

// Every volume not already entered through its drive letter. Each name is fetched straight into the
// device path of the next free record; a skipped or rejected one is overwritten by the next fetch.
void ScanVolumes(HostIoFilter filter)
{
    const DWORD letterUnits = g_sptiIo.count;
    if (g_sptiIo.count >= SPTI_IO_MAX_UNITS)
        return;
    HANDLE find = VolumeApiFindFirstVolumeA(g_sptiIo.units[g_sptiIo.count].devicePath, SPTI_IO_PATH_LENGTH);
    if (find == INVALID_HANDLE_VALUE || find == nullptr)
        return;
    for (;;) {
        SptiIoUnit* unit = &g_sptiIo.units[g_sptiIo.count];
        unit->devicePath[SPTI_IO_PATH_LENGTH - 1] = '\0';
        if (!KnownVolume(unit->devicePath, letterUnits)) {
            unit->driveLetter = 0;
            if (SptiIoProbe(filter, unit)) {
                unit->volumeName[0] = '\0';
                unit->number = g_sptiIo.count++;
            }
        }
        if (g_sptiIo.count >= SPTI_IO_MAX_UNITS)
            break;
        if (!VolumeApiFindNextVolumeA(find, g_sptiIo.units[g_sptiIo.count].devicePath, SPTI_IO_PATH_LENGTH))
            break;
    }
    VolumeApiFindVolumeClose(find);
}

}  // namespace

DWORD SptiIoEnumerate(HostIoFilter filter, const char* deviceClass)
{
    for (DWORD i = 0; i < g_sptiIo.count; ++i)
        SptiIoClose(&g_sptiIo.units[i]);
    g_sptiIo.count = 0;
    // One mutex per record, "mutexSptiIo/<device class>/Device<N>"; another process enumerating
    // with the same device class opens the same ones.
    if (!HostIoBuildMutexSet(g_sptiIo.units, SPTI_IO_MAX_UNITS, "SptiIo", deviceClass,
                             SHARED_MUTEX_CREATE))
        return 0;
    if (!filter)
        filter = HostIoAcceptAll;
    if (g_sptiIo.version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        ScanDriveLetters(filter);
        ScanVolumes(filter);
    }
    std::sort(g_sptiIo.units, g_sptiIo.units + g_sptiIo.count,
              [](const SptiIoUnit& a, const SptiIoUnit& b) { return SptiIoCompare(&a, &b) < 0; });
    return g_sptiIo.count;
}

BOOL SptiIoProbe(HostIoFilter filter, SptiIoUnit* unit)
{
    if (unit->driveLetter)
        std::snprintf(unit->devicePath, sizeof unit->devicePath, "\\\\.\\%c:", static_cast<char>(unit->driveLetter));
    else if (!DevicePathFromVolumeName(unit->devicePath))
        return FALSE;
    if (!SptiIoOpen(unit))
        return FALSE;

    // The record may hold the address of another unit accepted into it earlier: the candidate's own
    // is not known before it is accepted, so INQUIRY goes out with LUN 0 in its CDB rather than
    // with that unit's LUN (which a strict device would refuse). The INQUIRY buffer is cleared so
    // that a short answer is never completed by an earlier unit's bytes.
    std::memset(&unit->address, 0, sizeof unit->address);
    BYTE* cdb = unit->block.request.Cdb;
    std::memset(cdb, 0, sizeof unit->block.request.Cdb);
    cdb[0] = 0x12;
    cdb[4] = 36;
    std::memset(unit->inquiry, 0, sizeof unit->inquiry);
    if (SptiIoExecute(unit, UnitDataIn, 6, unit->inquiry, 36) != 0 || !filter(unit->inquiry)) {
        SptiIoClose(unit);
        return FALSE;
    }

    // An address that cannot be read stays cleared and sorts after those that were read.
    if (unit->device || SptiIoOpen(unit)) {
        DWORD returned = 0;
        g_sys.DeviceIoControl(unit->device, IOCTL_SCSI_GET_ADDRESS, nullptr, 0, &unit->address, sizeof unit->address,
                              &returned, nullptr);
        if (!unit->volumeLocked)
            SptiIoClose(unit);
    }
    return TRUE;
}

int SptiIoCompare(const SptiIoUnit* a, const SptiIoUnit* b)
{
    const SCSI_ADDRESS& x = a->address;
    const SCSI_ADDRESS& y = b->address;
    if (x.Length != y.Length)
        return x.Length > y.Length ? -1 : 1;
    const BYTE left[4] = {x.PortNumber, x.PathId, x.TargetId, x.Lun};
    const BYTE right[4] = {y.PortNumber, y.PathId, y.TargetId, y.Lun};
    return std::memcmp(left, right, sizeof left);
}
