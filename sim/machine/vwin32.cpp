#include "sim/machine/vwin32.h"

#include <cstring>

namespace {

const DWORD DOS_GENERIC_IOCTL = 0x440D;
const BYTE CATEGORY_DISK = 0x08;
const BYTE MINOR_EJECT = 0x49;
const BYTE MINOR_LOCK = 0x4A;
const BYTE MINOR_UNLOCK = 0x6A;

bool Take(unsigned* faults)
{
    if (*faults == 0)
        return false;
    --*faults;
    return true;
}

}  // namespace

void Vwin32Device::AddDrive(char letter, SimUnit* unit)
{
    m_drives[letter].unit = unit;
}

bool Vwin32Device::Locked(char letter) const
{
    auto drive = m_drives.find(letter);
    return drive != m_drives.end() && drive->second.locked;
}

void Vwin32Device::OpenElsewhere(char letter)
{
    m_drives[letter].openElsewhere = true;
}

bool Vwin32Device::Open(DeviceHandle& handle, DWORD* error)
{
    if (Take(&m_openFaults)) {
        *error = m_openError;
        return false;
    }
    (void)handle;
    ++m_openHandles;
    return true;
}

void Vwin32Device::Closed(DeviceHandle&)
{
    --m_openHandles;
}

BOOL Vwin32Device::Control(DeviceHandle&, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                           DWORD* returned, DWORD* error)
{
    *returned = 0;
    if (Take(&m_controlFaults)) {
        *error = m_controlError;
        return FALSE;
    }
    if (code != VWIN32_DIOC_DOS_IOCTL) {
        *error = ERROR_NOT_SUPPORTED;
        return FALSE;
    }
    if (in == nullptr || inSize < sizeof(DIOC_REGISTERS) || out == nullptr || outSize < sizeof(DIOC_REGISTERS)) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    DIOC_REGISTERS registers;
    std::memcpy(&registers, in, sizeof registers);
    m_requests.push_back(registers);
    DWORD dosError = Take(&m_dosFaults) ? m_dosError : Run(registers);
    if (dosError) {
        registers.reg_EAX = dosError;
        registers.reg_Flags |= VWIN32_CARRY_FLAG;
    } else {
        registers.reg_Flags &= ~VWIN32_CARRY_FLAG;
    }
    std::memcpy(out, &registers, sizeof registers);
    *returned = sizeof registers;
    return TRUE;
}

DWORD Vwin32Device::Run(const DIOC_REGISTERS& registers)
{
    const BYTE category = static_cast<BYTE>(registers.reg_ECX >> 8);
    const BYTE minor = static_cast<BYTE>(registers.reg_ECX);
    if ((registers.reg_EAX & 0xFFFF) != DOS_GENERIC_IOCTL || category != CATEGORY_DISK)
        return DOS_ERROR_INVALID_FUNCTION;
    // BL: 1 for A, 2 for B, ...; 0 (the default drive) is never a unit's.
    const BYTE driveNumber = static_cast<BYTE>(registers.reg_EBX);
    if (driveNumber < 1 || driveNumber > 26)
        return DOS_ERROR_INVALID_DRIVE;
    auto found = m_drives.find(static_cast<char>('A' + driveNumber - 1));
    if (found == m_drives.end() || !found->second.unit->Present())
        return DOS_ERROR_INVALID_DRIVE;
    Drive& drive = found->second;
    switch (minor) {
    case MINOR_EJECT:
        return Eject(drive);
    case MINOR_LOCK:
        if (drive.openElsewhere)
            return DOS_ERROR_ACCESS_DENIED;
        drive.locked = true;
        return 0;
    case MINOR_UNLOCK:
        if (!drive.locked)
            return DOS_ERROR_NOT_LOCKED;
        drive.locked = false;
        return 0;
    default:
        return DOS_ERROR_INVALID_FUNCTION;
    }
}

// The disk driver ejects with START STOP UNIT, LoEj set and Start clear.
DWORD Vwin32Device::Eject(Drive& drive)
{
    const BYTE cdb[6] = {0x1B, 0, 0, 0, 0x02, 0};
    SimResult result = drive.unit->Execute(cdb, sizeof cdb, SimDirection::None, nullptr, 0);
    if (result.deviceGone)
        return DOS_ERROR_NOT_READY;
    if (result.scsiStatus == 0)
        return 0;
    BYTE key = result.sense.size() > 2 ? result.sense[2] & 0x0F : 0;
    return key == 2 ? DOS_ERROR_NOT_READY : DOS_ERROR_GEN_FAILURE;
}
