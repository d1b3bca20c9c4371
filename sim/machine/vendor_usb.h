// The vendor's USB driver on the emulated machine. Each attached unit is one device interface of
// the driver's class, listed by the SetupAPI enumeration with its device path; CreateFileA opens the
// device path and the three pipe files below it ("<path>\if000pipe000" data in, "...001" data out,
// "...002" status). The driver's protocol, as this emulation holds the driver to it:
//
// - VENDOR_USB_SEND_COMMAND on the device handle takes a command request: a 16-byte header
//   (little-endian 0x001B at 0, 2 at 4, 1 at 12, zero elsewhere) followed by a CDB of 1 to 16 bytes;
//   anything else is refused with ERROR_INVALID_PARAMETER. A new request replaces a command whose
//   status was never read.
// - The data phase is the next transfer: ReadFile on pipe 0 (data in) or WriteFile on pipe 1 (data
//   out) of exactly the length the command moves. The unit carries the command out then, or, without
//   a data phase, when the status is read.
// - ReadFile on pipe 2 delivers the 2-byte status block: ASC and ASCQ of the sense the command left
//   (CHECK CONDITION), both zero otherwise. The sense itself stays in the unit for REQUEST SENSE.
// - A failed pipe transfer (see FailPipe) halts the pipe unless the error was ERROR_CRC; a halted
//   pipe fails every transfer with ERROR_GEN_FAILURE until VENDOR_USB_RECOVER_PIPE_1 and then
//   VENDOR_USB_RECOVER_PIPE_2 are issued on it.
// - A unit that has left the system (after its save, or unplugged) has no interface in the present
//   list; its files do not open and a command on a handle still open fails with
//   ERROR_DEVICE_NOT_CONNECTED. A status already earned is still delivered. Each arrival and
//   departure is broadcast as DBT_DEVNODES_CHANGED, as the system does for devices without volumes.

#pragma once

#include <deque>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/system_table.h"
#include "sim/machine/emulated_device.h"
#include "sim/sim_unit.h"

class EmulatedMachine;
class UsbDevice;

// The driver's interface as its own documentation states it.
extern const GUID VENDOR_USB_INTERFACE_CLASS;  // {2FFB2401-F3D1-11D5-81DD-00010258D039}
enum : DWORD {
    VENDOR_USB_SEND_COMMAND = 0x00220010,
    VENDOR_USB_RECOVER_PIPE_1 = 0x00220024,
    VENDOR_USB_RECOVER_PIPE_2 = 0x00220008,
};

// The four files of a device: the device path itself and its pipes 0, 1 and 2.
enum UsbFile : int {
    USB_DEVICE_FILE = -1,
    USB_PIPE_DATA_IN = 0,
    USB_PIPE_DATA_OUT = 1,
    USB_PIPE_STATUS = 2,
};

struct UsbSlot {
    // The device path the enumeration reports; empty: one is made up from the attach order.
    std::string devicePath;
};

// One transfer on a pipe as the driver saw it; error 0 when it succeeded.
struct UsbTransfer {
    UsbFile pipe;
    DWORD length;
    DWORD moved;
    DWORD error;
};

// A control code issued on a pipe file (pipe recovery), whether or not it succeeded.
struct UsbPipeControl {
    UsbFile pipe;
    DWORD code;
};

// One of the four files of a device, as CreateFileA finds it by path.
class UsbDeviceFile : public EmulatedDevice {
public:
    UsbDeviceFile(UsbDevice& device, UsbFile file) : m_device(device), m_file(file) {}
    bool Open(DeviceHandle& handle, DWORD* error) override;
    void Closed(DeviceHandle& handle) override;
    BOOL Control(DeviceHandle& handle, DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned,
                 DWORD* error) override;
    BOOL Read(DeviceHandle& handle, void* buffer, DWORD length, DWORD* done, DWORD* error) override;
    BOOL Write(DeviceHandle& handle, const void* buffer, DWORD length, DWORD* done, DWORD* error) override;

private:
    UsbDevice& m_device;
    UsbFile m_file;
};

class VendorUsb;

class UsbDevice {
public:
    static const unsigned ALWAYS = ~0u;

    UsbDevice(VendorUsb& driver, SimUnit* unit, const std::string& devicePath);
    UsbDevice(const UsbDevice&) = delete;
    UsbDevice& operator=(const UsbDevice&) = delete;

    SimUnit* Unit() const { return m_unit; }
    const std::string& DevicePath() const { return m_devicePath; }
    std::string FilePath(UsbFile file) const;
    EmulatedDevice& File(UsbFile file) { return *m_files[file + 1]; }
    bool Present() const { return m_unit->Present(); }

    // Faults. `times` counts the calls that fail; ALWAYS never runs out.
    void FailOpen(UsbFile file, DWORD error, unsigned times = 1);
    // The control code fails with `error`, on whichever file it is issued.
    void FailControl(DWORD code, DWORD error, unsigned times = 1);
    // The next transfer on the pipe fails with `error` after the unit has carried the command out
    // (data in: nothing reaches the program's buffer). Not ERROR_CRC: the pipe halts.
    void FailPipe(UsbFile pipe, DWORD error, unsigned times = 1);
    // The next status read delivers these bytes (as many as fit the read) instead of the status.
    void ScriptStatus(const std::vector<BYTE>& bytes) { m_scriptedStatus.push_back(bytes); }
    // Drops every fault and scripted status not yet used (a halted pipe stays halted).
    void ClearFaults();

    // What happened to it.
    const std::vector<std::vector<BYTE>>& Requests() const { return m_requests; }
    const std::vector<UsbTransfer>& Transfers() const { return m_transfers; }
    const std::vector<UsbPipeControl>& PipeControls() const { return m_pipeControls; }
    unsigned Opens(UsbFile file) const;
    unsigned OpenHandles() const { return m_openHandles; }
    bool Halted(UsbFile pipe) const { return m_pipes[pipe].halted; }
    void ClearRecords();

private:
    friend class UsbDeviceFile;
    struct Fault {
        DWORD key;
        DWORD error;
        unsigned remaining;
    };
    struct Pipe {
        bool halted = false;
        bool recoveryStarted = false;
    };
    // A command request whose status has not been read yet.
    struct Command {
        bool active = false;
        bool carriedOut = false;
        std::vector<BYTE> cdb;
        SimResult result;
    };

    static bool Take(std::vector<Fault>& faults, DWORD key, DWORD* error);
    bool Open(UsbFile file, DWORD* error);
    void Closed() { --m_openHandles; }
    BOOL Control(UsbFile file, DWORD code, const void* in, DWORD inSize, DWORD* error);
    BOOL SendCommand(const void* in, DWORD inSize, DWORD* error);
    BOOL Transfer(UsbFile pipe, BYTE* buffer, DWORD length, bool toDevice, DWORD* done, DWORD* error);
    BOOL ReadStatus(BYTE* buffer, DWORD length, DWORD* done, DWORD* error);
    // Hands the pending command to the unit; false when the unit is no longer there.
    bool CarryOut(SimDirection direction, BYTE* data, DWORD length);
    // Ends a transfer with the pipe's injected fault, if one is due.
    bool PipeFault(UsbFile pipe, DWORD* error);

    VendorUsb& m_driver;
    SimUnit* m_unit;
    std::string m_devicePath;
    std::unique_ptr<UsbDeviceFile> m_files[4];
    Pipe m_pipes[3];
    Command m_command;
    std::vector<Fault> m_openFaults, m_controlFaults, m_pipeFaults;
    std::deque<std::vector<BYTE>> m_scriptedStatus;
    std::vector<std::vector<BYTE>> m_requests;
    std::vector<UsbTransfer> m_transfers;
    std::vector<UsbPipeControl> m_pipeControls;
    std::map<int, unsigned> m_opens;
    unsigned m_openHandles = 0;
};

class VendorUsb {
public:
    explicit VendorUsb(EmulatedMachine& machine) : m_machine(machine) {}

    // A device interface behind which `unit` answers (the machine owns the unit).
    UsbDevice& Attach(SimUnit* unit, const UsbSlot& slot);
    UsbDevice* DeviceOf(const SimUnit& unit) const;
    const std::vector<std::unique_ptr<UsbDevice>>& Devices() const { return m_devices; }

    // The SetupAPI calls; failures return FALSE (or INVALID_HANDLE_VALUE) with the reason in *error.
    HDEVINFO GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error);
    BOOL EnumDeviceInterfaces(HDEVINFO set, const GUID* interfaceClass, DWORD member, SP_DEVICE_INTERFACE_DATA* data,
                              DWORD* error);
    BOOL GetDeviceInterfaceDetail(HDEVINFO set, const SP_DEVICE_INTERFACE_DATA* data,
                                  SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize, DWORD* required,
                                  DWORD* error);
    BOOL DestroyDeviceInfoList(HDEVINFO set, DWORD* error);

    // Broadcasts DBT_DEVNODES_CHANGED for every device whose presence changed since last time.
    void NoticePresenceChanges();

private:
    EmulatedMachine& m_machine;
    std::vector<std::unique_ptr<UsbDevice>> m_devices;
    std::map<const UsbDevice*, bool> m_present;
};

// Puts the SetupAPI entries of the emulated machine into a system table.
void VendorUsbFillTable(SystemTable* table);
