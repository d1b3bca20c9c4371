#include "sim/machine/nt_storage.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "sim/machine/emulated_machine.h"

namespace {

struct VolumeFindHandle : HandleObject {
    std::vector<std::string> names;
    size_t next = 0;
};

// Copies a name with its terminator into a caller's buffer of `length` characters.
bool CopyName(const std::string& name, char* buffer, DWORD length, DWORD* error)
{
    if (buffer == nullptr || name.size() >= length) {
        *error = buffer == nullptr ? ERROR_INVALID_PARAMETER : ERROR_FILENAME_EXCED_RANGE;
        return false;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    return true;
}

DWORD LetterBit(char letter)
{
    return letter >= 'A' && letter <= 'Z' ? 1u << (letter - 'A') : 0;
}

std::string MadeUpVolumeName(size_t index)
{
    char name[64];
    std::snprintf(name, sizeof name, "\\\\?\\Volume{5eb1c0de-7a1e-11d0-9f3b-%012x}\\", static_cast<unsigned>(index + 0xa0));
    return name;
}

SimResult CheckCondition(BYTE key, BYTE asc, BYTE ascq)
{
    SimResult result;
    result.scsiStatus = 2;
    result.sense.assign(18, 0);
    result.sense[0] = 0x70;
    result.sense[2] = key;
    result.sense[7] = 10;
    result.sense[12] = asc;
    result.sense[13] = ascq;
    return result;
}

}  // namespace

NtDisk::NtDisk(NtStorage& storage, SimUnit* unit, const NtSlot& slot, const std::string& volumeName,
               const std::string& vendor, const std::string& product)
    : m_storage(storage), m_unit(unit), m_slot(slot), m_volumeName(volumeName), m_vendor(vendor), m_product(product)
{
}

void NtDisk::FailIoctl(DWORD code, DWORD error, unsigned times)
{
    m_ioctlFaults.push_back(Fault{code, error, times});
}

void NtDisk::FailOpen(DWORD error, unsigned times)
{
    m_openFaults.push_back(Fault{0, error, times});
}

unsigned NtDisk::Ioctls(DWORD code) const
{
    auto found = m_ioctls.find(code);
    return found == m_ioctls.end() ? 0 : found->second;
}

void NtDisk::ClearRecords()
{
    m_passThroughs.clear();
    m_ioctls.clear();
    m_opens = 0;
    m_dismounts = 0;
}

bool NtDisk::Take(std::vector<Fault>& faults, DWORD code, DWORD* error)
{
    for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
        if (fault->code != 0 && fault->code != code)
            continue;
        *error = fault->error;
        if (fault->remaining != ALWAYS && --fault->remaining == 0)
            faults.erase(fault);
        return true;
    }
    return false;
}

bool NtDisk::Open(DeviceHandle&, DWORD* error)
{
    if (!Present()) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (Take(m_openFaults, 0, error))
        return false;
    // A locked volume keeps every other opener out.
    if (m_lockedBy != nullptr) {
        *error = ERROR_ACCESS_DENIED;
        return false;
    }
    ++m_opens;
    ++m_openHandles;
    return true;
}

void NtDisk::Closed(DeviceHandle& handle)
{
    if (m_lockedBy == &handle)
        m_lockedBy = nullptr;
    --m_openHandles;
}

BOOL NtDisk::Control(DeviceHandle& handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                     DWORD* returned, DWORD* error)
{
    *returned = 0;
    ++m_ioctls[code];
    if (!Present()) {
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    if (Take(m_ioctlFaults, code, error))
        return FALSE;
    switch (code) {
    case IOCTL_SCSI_PASS_THROUGH_DIRECT:
        return PassThrough(handle, in, inSize, out, outSize, returned, error);
    case IOCTL_SCSI_GET_ADDRESS: {
        if (!m_slot.addressKnown) {
            *error = ERROR_INVALID_FUNCTION;
            return FALSE;
        }
        if (out == nullptr || outSize < sizeof(SCSI_ADDRESS)) {
            *error = ERROR_INSUFFICIENT_BUFFER;
            return FALSE;
        }
        SCSI_ADDRESS address = {sizeof(SCSI_ADDRESS), m_slot.port, m_slot.path, m_slot.target, m_slot.lun};
        std::memcpy(out, &address, sizeof address);
        *returned = sizeof address;
        return TRUE;
    }
    case FSCTL_LOCK_VOLUME:
        // Refused while anyone else has the volume open, this process through another handle included.
        if ((m_lockedBy != nullptr && m_lockedBy != &handle) || m_openElsewhere > 0 || m_openHandles > 1) {
            *error = ERROR_ACCESS_DENIED;
            return FALSE;
        }
        m_lockedBy = &handle;
        return TRUE;
    case FSCTL_UNLOCK_VOLUME:
        if (m_lockedBy != &handle) {
            *error = ERROR_NOT_LOCKED;
            return FALSE;
        }
        m_lockedBy = nullptr;
        return TRUE;
    case FSCTL_DISMOUNT_VOLUME:
        ++m_dismounts;
        return TRUE;
    case IOCTL_DISK_EJECT_MEDIA:
        return StartStop(false, error);
    case IOCTL_DISK_LOAD_MEDIA:
        return StartStop(true, error);
    default:
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
}

// Checks the request as the port driver does, runs the CDB and writes status, residual and sense
// back into the output buffer (both buffers may be the same block).
BOOL NtDisk::PassThrough(DeviceHandle& handle, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                         DWORD* error)
{
    if (in == nullptr || inSize < sizeof(SCSI_PASS_THROUGH_DIRECT) || out == nullptr ||
        outSize < sizeof(SCSI_PASS_THROUGH_DIRECT)) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if ((handle.access & (GENERIC_READ | GENERIC_WRITE)) != (GENERIC_READ | GENERIC_WRITE)) {
        *error = ERROR_ACCESS_DENIED;
        return FALSE;
    }
    SCSI_PASS_THROUGH_DIRECT request;
    std::memcpy(&request, in, sizeof request);
    m_passThroughs.push_back(PassThroughRecord{request, inSize, outSize});
    bool senseFits = request.SenseInfoLength == 0 ||
                     (request.SenseInfoOffset >= sizeof(SCSI_PASS_THROUGH_DIRECT) &&
                      request.SenseInfoOffset + request.SenseInfoLength <= outSize);
    if (request.Length != sizeof(SCSI_PASS_THROUGH_DIRECT) || request.CdbLength == 0 || request.CdbLength > 16 ||
        request.DataIn > SCSI_IOCTL_DATA_UNSPECIFIED || !senseFits ||
        (request.DataTransferLength > 0 && request.DataBuffer == nullptr)) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }

    SimDirection direction = SimDirection::None;
    DWORD length = 0;
    if (request.DataIn != SCSI_IOCTL_DATA_UNSPECIFIED && request.DataTransferLength > 0) {
        direction = request.DataIn == SCSI_IOCTL_DATA_IN ? SimDirection::In : SimDirection::Out;
        length = request.DataTransferLength;
    }
    SimResult result = Run(request.Cdb, request.CdbLength, direction, static_cast<BYTE*>(request.DataBuffer), length);
    if (result.deviceGone) {
        m_storage.NoticePresenceChanges();
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }

    SCSI_PASS_THROUGH_DIRECT answer = request;
    answer.ScsiStatus = result.scsiStatus;
    answer.DataTransferLength = std::min<DWORD>(result.transferred, length);
    size_t senseLength = 0;
    if (result.scsiStatus != 0)
        senseLength = std::min<size_t>(result.sense.size(), request.SenseInfoLength);
    answer.SenseInfoLength = static_cast<UCHAR>(senseLength);
    std::memcpy(out, &answer, sizeof answer);
    if (senseLength)
        std::memcpy(static_cast<BYTE*>(out) + request.SenseInfoOffset, result.sense.data(), senseLength);
    *returned = static_cast<DWORD>(senseLength ? request.SenseInfoOffset + senseLength : sizeof answer);
    m_storage.NoticePresenceChanges();
    return TRUE;
}

SimResult NtDisk::Run(const BYTE* cdb, size_t cdbLength, SimDirection direction, BYTE* data, DWORD length)
{
    if (!m_scripted.empty()) {
        ScriptedAnswer answer = m_scripted.front();
        m_scripted.pop_front();
        SimResult result;
        result.scsiStatus = answer.scsiStatus;
        result.sense = answer.sense;
        if (direction == SimDirection::In) {
            result.transferred = static_cast<uint32_t>(std::min<size_t>(answer.data.size(), length));
            std::copy(answer.data.begin(), answer.data.begin() + result.transferred, data);
        } else if (direction == SimDirection::Out) {
            result.transferred = length;
        }
        return result;
    }
    if (m_unit)
        return m_unit->Execute(cdb, cdbLength, direction, data, length);
    return ForeignAnswer(cdb, data, direction == SimDirection::In ? length : 0);
}

// A disk of another make: INQUIRY and TEST UNIT READY, ILLEGAL REQUEST for the rest.
SimResult NtDisk::ForeignAnswer(const BYTE* cdb, BYTE* data, DWORD length) const
{
    if (cdb[0] == 0x00)
        return SimResult();
    if (cdb[0] != 0x12)
        return CheckCondition(5, 0x20, 0x00);
    BYTE inquiry[36] = {};
    inquiry[2] = 0x05;
    inquiry[3] = 0x02;
    inquiry[4] = 31;
    std::memset(inquiry + 8, ' ', 28);
    std::memcpy(inquiry + 8, m_vendor.data(), std::min<size_t>(m_vendor.size(), 8));
    std::memcpy(inquiry + 16, m_product.data(), std::min<size_t>(m_product.size(), 16));
    std::memcpy(inquiry + 32, "1.00", 4);
    SimResult result;
    result.transferred = std::min<DWORD>(length, std::min<DWORD>(cdb[4], sizeof inquiry));
    std::memcpy(data, inquiry, result.transferred);
    return result;
}

// The disk class driver ejects and loads with START STOP UNIT (LoEj set).
BOOL NtDisk::StartStop(bool load, DWORD* error)
{
    if (m_unit == nullptr) {
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    const BYTE cdb[6] = {0x1B, 0, 0, 0, static_cast<BYTE>(load ? 0x03 : 0x02), 0};
    SimResult result = m_unit->Execute(cdb, sizeof cdb, SimDirection::None, nullptr, 0);
    m_storage.NoticePresenceChanges();
    if (result.scsiStatus == 0)
        return TRUE;
    BYTE key = result.sense.size() > 2 ? result.sense[2] & 0x0F : 0;
    *error = key == 2 ? ERROR_NOT_READY : ERROR_IO_DEVICE;
    return FALSE;
}

NtDisk& NtStorage::Add(SimUnit* unit, const NtSlot& slot, const std::string& vendor, const std::string& product)
{
    std::string volumeName = slot.volumeName.empty() ? MadeUpVolumeName(m_disks.size()) : slot.volumeName;
    m_disks.push_back(std::make_unique<NtDisk>(*this, unit, slot, volumeName, vendor, product));
    NtDisk& disk = *m_disks.back();
    if (slot.letter) {
        char path[8];
        std::snprintf(path, sizeof path, "\\\\.\\%c:", slot.letter);
        m_machine.RegisterDevice(path, &disk);
    }
    // The volume's device path: its name without the closing backslash.
    if (volumeName.size() > 4 && volumeName.back() == '\\')
        m_machine.RegisterDevice(volumeName.substr(0, volumeName.size() - 1), &disk);
    // A unit counts as arriving when it is attached; the first notice of it announces it.
    m_present[&disk] = unit == nullptr;
    return disk;
}

NtDisk& NtStorage::Attach(SimUnit* unit, const NtSlot& slot)
{
    return Add(unit, slot, "", "");
}

NtDisk& NtStorage::AddForeignDisk(const NtSlot& slot, const std::string& vendor, const std::string& product)
{
    return Add(nullptr, slot, vendor, product);
}

void NtStorage::AddDriveLetter(char letter, UINT type)
{
    m_bareLetters[letter] = type;
}

NtDisk* NtStorage::DiskOf(const SimUnit& unit) const
{
    for (auto& disk : m_disks) {
        if (disk->Unit() == &unit)
            return disk.get();
    }
    return nullptr;
}

NtDisk* NtStorage::DiskAt(char letter) const
{
    for (auto& disk : m_disks) {
        if (disk->Slot().letter == letter && disk->Present())
            return disk.get();
    }
    return nullptr;
}

DWORD NtStorage::LogicalDrives() const
{
    DWORD drives = 0;
    for (auto& bare : m_bareLetters)
        drives |= LetterBit(bare.first);
    for (auto& disk : m_disks) {
        if (disk->Present())
            drives |= LetterBit(disk->Slot().letter);
    }
    return drives;
}

UINT NtStorage::DriveType(const char* root) const
{
    if (root == nullptr || std::strlen(root) != 3 || root[1] != ':' || root[2] != '\\')
        return DRIVE_NO_ROOT_DIR;
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(root[0])));
    if (NtDisk* disk = DiskAt(letter))
        return disk->Slot().driveType;
    auto bare = m_bareLetters.find(letter);
    return bare == m_bareLetters.end() ? DRIVE_NO_ROOT_DIR : bare->second;
}

HANDLE NtStorage::FindFirstVolume(char* name, DWORD length, DWORD* error)
{
    auto find = std::make_shared<VolumeFindHandle>();
    for (auto& disk : m_disks) {
        if (disk->Present() && disk->Slot().listedVolume)
            find->names.push_back(disk->VolumeName());
    }
    if (find->names.empty()) {
        *error = ERROR_NO_MORE_FILES;
        return INVALID_HANDLE_VALUE;
    }
    if (!CopyName(find->names[0], name, length, error))
        return INVALID_HANDLE_VALUE;
    find->next = 1;
    return m_machine.Handles().Add(find);
}

BOOL NtStorage::FindNextVolume(HANDLE handle, char* name, DWORD length, DWORD* error)
{
    auto* find = m_machine.Handles().Get<VolumeFindHandle>(handle);
    if (find == nullptr) {
        *error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (find->next >= find->names.size()) {
        *error = ERROR_NO_MORE_FILES;
        return FALSE;
    }
    if (!CopyName(find->names[find->next], name, length, error))
        return FALSE;
    ++find->next;
    return TRUE;
}

BOOL NtStorage::FindVolumeClose(HANDLE handle, DWORD* error)
{
    if (m_machine.Handles().Get<VolumeFindHandle>(handle) == nullptr) {
        *error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    m_machine.Handles().Remove(handle);
    return TRUE;
}

BOOL NtStorage::VolumeNameForMountPoint(const char* mountPoint, char* name, DWORD length, DWORD* error) const
{
    if (mountPoint == nullptr || std::strlen(mountPoint) != 3 || mountPoint[1] != ':' || mountPoint[2] != '\\') {
        *error = ERROR_INVALID_NAME;
        return FALSE;
    }
    NtDisk* disk = DiskAt(static_cast<char>(std::toupper(static_cast<unsigned char>(mountPoint[0]))));
    if (disk == nullptr || !disk->Slot().mountPointKnown) {
        *error = ERROR_FILE_NOT_FOUND;
        return FALSE;
    }
    const std::string& answer = disk->Slot().mountPointName.empty() ? disk->VolumeName() : disk->Slot().mountPointName;
    return CopyName(answer, name, length, error) ? TRUE : FALSE;
}

void NtStorage::NoticePresenceChanges()
{
    for (auto& disk : m_disks) {
        bool present = disk->Present();
        bool& was = m_present[disk.get()];
        if (present == was)
            continue;
        was = present;
        DWORD mask = LetterBit(disk->Slot().letter);
        m_machine.BroadcastDeviceChange(present ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE, mask);
        m_machine.BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    }
}
