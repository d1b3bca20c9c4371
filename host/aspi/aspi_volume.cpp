// Eject, lock and unlock through the VWIN32 device: MS-DOS generic IOCTL requests for the unit's
// drive, with the carry flag telling failure and reg_EAX the MS-DOS error code.
#include "host/aspi/aspi_io.h"
#include "platform/system_table.h"

namespace {

const DWORD DOS_GENERIC_IOCTL = 0x440D;     // INT 21h function 44h, subfunction 0Dh: block devices
const DWORD EJECT_REMOVABLE_MEDIA = 0x0849;  // category 08h in CH, minor code in CL
const DWORD LOCK_LOGICAL_VOLUME = 0x084A;
const DWORD UNLOCK_LOGICAL_VOLUME = 0x086A;

// One request for the unit's drive (A is 1; lock level and permissions 0). TRUE when the service
// ran it without setting the carry flag.
BOOL DosBlockIoctl(const AspiIoUnit* unit, DWORD request)
{
    DIOC_REGISTERS registers = {};
    registers.reg_EBX = static_cast<DWORD>(unit->driveLetter - 0x40);
    registers.reg_EDX = 0;
    registers.reg_ECX = request;
    registers.reg_EAX = DOS_GENERIC_IOCTL;
    registers.reg_Flags = VWIN32_CARRY_FLAG;
    DWORD returned = 0;
    if (!g_sys.DeviceIoControl(g_aspiIo.vwin32, VWIN32_DIOC_DOS_IOCTL, &registers, sizeof registers, &registers,
                               sizeof registers, &returned, nullptr))
        return FALSE;
    if (registers.reg_Flags & VWIN32_CARRY_FLAG) {
        g_sys.SetLastError(registers.reg_EAX);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

// Sent even for a unit without a drive letter: the service then names the error.
BOOL AspiIoEjectMedium(AspiIoUnit* unit)
{
    return DosBlockIoctl(unit, EJECT_REMOVABLE_MEDIA);
}

BOOL AspiIoLockVolume(AspiIoUnit* unit)
{
    if (unit->driveLetter == 0 || unit->volumeLocked)
        return 1;
    if (!DosBlockIoctl(unit, LOCK_LOGICAL_VOLUME))
        return 0;
    unit->volumeLocked = 1;
    return 1;
}

BOOL AspiIoUnlockVolume(AspiIoUnit* unit)
{
    if (unit->driveLetter == 0 || !unit->volumeLocked)
        return 1;
    if (!DosBlockIoctl(unit, UNLOCK_LOGICAL_VOLUME))
        return 0;
    unit->volumeLocked = 0;
    return 1;
}

void AspiIoReleaseVolumeLocks(void)
{
    for (DWORD i = 0; i < g_aspiIo.count && i < ASPI_IO_MAX_UNITS; ++i) {
        AspiIoUnlockVolume(&g_aspiIo.units[i]);
        g_aspiIo.units[i].volumeLocked = 0;
    }
}
