// The Windows NT storage stack of the emulated machine: drive letters with their types, volumes
// with their names, and disks opened by device path (\\.\E: or \\.\Volume{...}) that carry
// SCSI pass-through requests to a simulated unit (or answer as a disk of another make), report
// their SCSI address, take volume locks, dismount, eject and load.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/win32_storage.h"
#include "sim/machine/emulated_device.h"
#include "sim/sim_unit.h"

class EmulatedMachine;
class NtStorage;

// Where a disk sits in the storage stack.
struct NtSlot {
    char letter = 0;                  // drive letter, 0 when it has none
    UINT driveType = DRIVE_REMOVABLE;  // what GetDriveTypeA reports for the letter
    bool listedVolume = true;         // FindFirstVolumeA/FindNextVolumeA list its volume
    std::string volumeName;           // "\\?\Volume{...}\"; empty: the machine makes one up
    bool mountPointKnown = true;      // GetVolumeNameForVolumeMountPointA answers for the letter
    std::string mountPointName;       // what that call answers; empty: the volume name
    BYTE port = 0, path = 0, target = 0, lun = 0;
    bool addressKnown = true;         // IOCTL_SCSI_GET_ADDRESS succeeds

    static NtSlot Letter(char letter, UINT type = DRIVE_REMOVABLE)
    {
        NtSlot slot;
        slot.letter = letter;
        slot.driveType = type;
        return slot;
    }
    static NtSlot VolumeOnly()
    {
        return NtSlot();
    }
    NtSlot& Address(BYTE p, BYTE pathId, BYTE targetId, BYTE lunId)
    {
        port = p, path = pathId, target = targetId, lun = lunId;
        return *this;
    }
};

// A device answer that replaces the unit's for one pass-through request, byte for byte: for
// malformed answers (short data, garbage or missing sense) that no well-behaved unit gives.
struct ScriptedAnswer {
    BYTE scsiStatus = 0;
    std::vector<BYTE> sense;          // delivered up to the sense length the request allows
    std::vector<BYTE> data;           // delivered to a data-in buffer, up to its length
};

// A pass-through request as the disk received it.
struct PassThroughRecord {
    SCSI_PASS_THROUGH_DIRECT request;
    DWORD inSize = 0, outSize = 0;
};

class NtDisk : public EmulatedDevice {
public:
    static const unsigned ALWAYS = ~0u;

    NtDisk(NtStorage& storage, SimUnit* unit, const NtSlot& slot, const std::string& volumeName,
           const std::string& vendor, const std::string& product);

    SimUnit* Unit() const { return m_unit; }
    const NtSlot& Slot() const { return m_slot; }
    const std::string& VolumeName() const { return m_volumeName; }
    // A disk of a simulated unit is there while the unit is; any other disk always.
    bool Present() const { return m_unit == nullptr || m_unit->Present(); }

    // Faults. A control code of 0 matches every code; ALWAYS never runs out.
    void FailIoctl(DWORD code, DWORD error, unsigned times = 1);
    void FailOpen(DWORD error, unsigned times = 1);
    void ScriptAnswer(const ScriptedAnswer& answer) { m_scripted.push_back(answer); }
    // Another process opens or closes the volume; while it holds it open, volume locks are refused.
    void OpenElsewhere() { ++m_openElsewhere; }
    void CloseElsewhere() { m_openElsewhere -= m_openElsewhere ? 1 : 0; }

    // What happened to it.
    unsigned Opens() const { return m_opens; }
    unsigned OpenHandles() const { return m_openHandles; }
    unsigned Ioctls(DWORD code) const;
    const std::vector<PassThroughRecord>& PassThroughs() const { return m_passThroughs; }
    // Forgets the requests and counts recorded so far.
    void ClearRecords();
    bool Locked() const { return m_lockedBy != nullptr; }
    unsigned Dismounts() const { return m_dismounts; }

    bool Open(DeviceHandle& handle, DWORD* error) override;
    void Closed(DeviceHandle& handle) override;
    BOOL Control(DeviceHandle& handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                 DWORD* error) override;

private:
    struct Fault {
        DWORD code;
        DWORD error;
        unsigned remaining;
    };
    bool Take(std::vector<Fault>& faults, DWORD code, DWORD* error);
    BOOL PassThrough(DeviceHandle& handle, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                     DWORD* error);
    // The answer of the unit, of the scripted list, or of the disk of another make.
    SimResult Run(const BYTE* cdb, size_t cdbLength, SimDirection direction, BYTE* data, DWORD length);
    SimResult ForeignAnswer(const BYTE* cdb, BYTE* data, DWORD length) const;
    BOOL StartStop(bool load, DWORD* error);

    NtStorage& m_storage;
    SimUnit* m_unit;
    NtSlot m_slot;
    std::string m_volumeName;
    std::string m_vendor, m_product;
    std::vector<Fault> m_ioctlFaults, m_openFaults;
    std::deque<ScriptedAnswer> m_scripted;
    unsigned m_openElsewhere = 0;
    unsigned m_opens = 0, m_openHandles = 0, m_dismounts = 0;
    std::map<DWORD, unsigned> m_ioctls;
    std::vector<PassThroughRecord> m_passThroughs;
    const DeviceHandle* m_lockedBy = nullptr;
};

class NtStorage {
public:
    explicit NtStorage(EmulatedMachine& machine) : m_machine(machine) {}

    // A disk behind which `unit` answers (the machine owns the unit).
    NtDisk& Attach(SimUnit* unit, const NtSlot& slot);
    // A disk of another make that answers INQUIRY with this vendor and product, and little else.
    NtDisk& AddForeignDisk(const NtSlot& slot, const std::string& vendor, const std::string& product);
    // A drive letter with no disk behind it that answers (a CD-ROM drive, an empty card slot).
    void AddDriveLetter(char letter, UINT type);

    NtDisk* DiskOf(const SimUnit& unit) const;
    NtDisk* DiskAt(char letter) const;
    const std::vector<std::unique_ptr<NtDisk>>& Disks() const { return m_disks; }

    // The seam's calls.
    DWORD LogicalDrives() const;
    UINT DriveType(const char* root) const;
    HANDLE FindFirstVolume(char* name, DWORD length, DWORD* error);
    BOOL FindNextVolume(HANDLE find, char* name, DWORD length, DWORD* error);
    BOOL FindVolumeClose(HANDLE find, DWORD* error);
    BOOL VolumeNameForMountPoint(const char* mountPoint, char* name, DWORD length, DWORD* error) const;

    // Broadcasts the arrival or departure of every unit whose presence changed since last time.
    void NoticePresenceChanges();

    EmulatedMachine& Machine() { return m_machine; }

private:
    NtDisk& Add(SimUnit* unit, const NtSlot& slot, const std::string& vendor, const std::string& product);

    EmulatedMachine& m_machine;
    std::vector<std::unique_ptr<NtDisk>> m_disks;
    std::map<const NtDisk*, bool> m_present;
    std::map<char, UINT> m_bareLetters;
};

// KERNEL32's volume functions on the emulated machine, as GetProcAddress hands them out.
std::map<std::string, FARPROC> NtVolumeFunctions();
