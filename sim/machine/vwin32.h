// The VWIN32 device of the emulated 9x machine ("\\.\VWIN32"): MS-DOS generic IOCTL requests for
// block devices (eject removable media, lock and unlock logical volume) on the drive letters of
// simulated units. A failed request comes back with the carry flag set and the MS-DOS error code
// in reg_EAX, as the real service answers it.
#pragma once

#include <map>
#include <vector>

#include "platform/vwin32_registers.h"
#include "sim/machine/emulated_device.h"
#include "sim/sim_unit.h"

// MS-DOS error codes the service answers with.
enum : DWORD {
    DOS_ERROR_INVALID_FUNCTION = 0x01,
    DOS_ERROR_ACCESS_DENIED = 0x05,
    DOS_ERROR_INVALID_DRIVE = 0x0F,
    DOS_ERROR_NOT_READY = 0x15,
    DOS_ERROR_GEN_FAILURE = 0x1F,
    DOS_ERROR_NOT_LOCKED = 0x9E,
};

class Vwin32Device : public EmulatedDevice {
public:
    // A drive letter ('A'..'Z') whose medium requests reach the unit (owned by the machine).
    void AddDrive(char letter, SimUnit* unit);
    bool Locked(char letter) const;

    // Faults. Opening the device fails with `error`; DeviceIoControl itself fails with `error`;
    // the next requests end with the carry flag and this MS-DOS error code.
    void FailOpen(DWORD error, unsigned times = 1) { m_openError = error, m_openFaults = times; }
    void FailControl(DWORD error, unsigned times = 1) { m_controlError = error, m_controlFaults = times; }
    void FailRequests(DWORD dosError, unsigned times = 1) { m_dosError = dosError, m_dosFaults = times; }
    // Another program has files open on the drive: its volume cannot be locked.
    void OpenElsewhere(char letter);

    // What happened: the register blocks as received, and handles open on the device now.
    const std::vector<DIOC_REGISTERS>& Requests() const { return m_requests; }
    unsigned OpenHandles() const { return m_openHandles; }
    // Forgets the register blocks recorded so far.
    void ClearRecords() { m_requests.clear(); }

    bool Open(DeviceHandle& handle, DWORD* error) override;
    void Closed(DeviceHandle& handle) override;
    BOOL Control(DeviceHandle& handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                 DWORD* error) override;

private:
    struct Drive {
        SimUnit* unit = nullptr;
        bool locked = false;
        bool openElsewhere = false;
    };
    // Runs one generic IOCTL request; 0 on success, else the MS-DOS error code.
    DWORD Run(const DIOC_REGISTERS& registers);
    DWORD Eject(Drive& drive);

    std::map<char, Drive> m_drives;
    std::vector<DIOC_REGISTERS> m_requests;
    unsigned m_openHandles = 0;
    DWORD m_openError = 0, m_controlError = 0, m_dosError = 0;
    unsigned m_openFaults = 0, m_controlFaults = 0, m_dosFaults = 0;
};
