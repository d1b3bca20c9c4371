// An emulated Windows machine for tests and the demo. Creating one puts its own system table in
// force (every g_sys call then reaches it) and destroying it puts back the table that was in force
// before. One machine is current at a time; a test creates a fresh one and states its scenario:
//
//     EmulatedMachine machine;                                    // Windows NT, no units
//     SimUnit& unit = machine.AttachUnit(config, NtSlot::Letter('E').Address(1, 0, 2, 0));
//     machine.Disk(unit).FailIoctl(IOCTL_SCSI_PASS_THROUGH_DIRECT, ERROR_GEN_FAILURE, 3);
//     machine.StartProcess().TakeMutex("mutexSptiIo/QZV-5x/Device0");   // the unit is busy
//     machine.Faults().FailNthCall(7);                            // the 7th system call fails
//     machine.SubscribeDeviceChange([&](WPARAM event, LPARAM) { ... });
//
// What it emulates: the NT storage stack (nt_storage.h), kernel objects shared with other emulated
// processes (kernel_objects.h), a virtual clock (virtual_clock.h), modules loaded at run time
// (emulated_modules.h), the registry (emulated_registry.h), GetVersionExA for the platform of the
// scenario, the process token (a member of Administrators unless SetAdministrator(false)), and
// device-change broadcasts when a unit leaves or arrives. Plain files pass through to
// the real file system. Everything runs on the calling thread. Units may also be attached through the
// vendor USB driver (vendor_usb.h): machine.AttachUsbUnit(config).
//
// A machine of the 9x family also has the ASPI manager (aspi_manager.h), the VWIN32 device
// (vwin32.h) and the configuration manager's registry trees (win9x_devices.h):
//
//     EmulatedMachine machine(VER_PLATFORM_WIN32_WINDOWS);
//     SimUnit& unit = machine.AttachAspiUnit(config, 0, 4, 0, 'E');  // adapter 0, target 4, LUN 0
//     machine.Aspi().CompleteRequests(AspiCompletion::Never, 0, 1);  // the next request hangs
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "platform/system_table.h"
#include "sim/machine/aspi_manager.h"
#include "sim/machine/call_faults.h"
#include "sim/machine/emulated_device.h"
#include "sim/machine/emulated_modules.h"
#include "sim/machine/emulated_registry.h"
#include "sim/machine/kernel_objects.h"
#include "sim/machine/nt_storage.h"
#include "sim/machine/vendor_usb.h"
#include "sim/machine/virtual_clock.h"
#include "sim/machine/vwin32.h"
#include "sim/machine/win9x_devices.h"
#include "sim/sim_unit.h"

// Receives a device-change notice (the wParam and lParam of WM_DEVICECHANGE). It is called from
// inside the system call that caused the change: post the notice on, do not call back into units.
typedef std::function<void(WPARAM event, LPARAM data)> DeviceChangeListener;

class EmulatedMachine {
public:
    explicit EmulatedMachine(DWORD platformId = VER_PLATFORM_WIN32_NT);
    ~EmulatedMachine();
    EmulatedMachine(const EmulatedMachine&) = delete;
    EmulatedMachine& operator=(const EmulatedMachine&) = delete;

    // The machine whose table is in force, or null.
    static EmulatedMachine* Current();

    // GetVersionExA's platform id: VER_PLATFORM_WIN32_NT, VER_PLATFORM_WIN32_WINDOWS or any other.
    void SetPlatformId(DWORD platformId) { m_platformId = platformId; }
    DWORD PlatformId() const { return m_platformId; }
    // Whether the program's process token lists the Administrators alias (it does unless told).
    void SetAdministrator(bool administrator) { m_administrator = administrator; }
    bool Administrator() const { return m_administrator; }

    // Units. The machine owns them; they stay valid as long as it lives.
    SimUnit& AttachUnit(const SimUnitConfig& config, const NtSlot& slot);
    // A unit behind the ASPI manager at host adapter / target / LUN, with its devnode and hardware
    // key in the registry and, unless `driveLetter` is 0, that drive letter for VWIN32 requests.
    SimUnit& AttachAspiUnit(const SimUnitConfig& config, BYTE adapter, BYTE target, BYTE lun, char driveLetter = 0);
    NtDisk& Disk(const SimUnit& unit);  // the unit must be one this machine attached
    // Take the unit away, bring it back, or switch it off and on, with the broadcasts that follow.
    void Unplug(SimUnit& unit);
    void Replug(SimUnit& unit);
    void PowerCycle(SimUnit& unit);

    // Units attached through the vendor's USB driver: one device interface each, in attach order.
    SimUnit& AttachUsbUnit(const SimUnitConfig& config, const UsbSlot& slot = UsbSlot());
    UsbDevice& UsbDeviceOf(const SimUnit& unit);

    NtStorage& Storage() { return m_storage; }
    VendorUsb& Usb() { return m_usb; }
    VirtualClock& Clock() { return m_clock; }
    KernelObjects& Objects() { return m_objects; }
    EmulatedProcess& StartProcess() { return m_objects.StartProcess(); }
    EmulatedModules& Modules() { return m_modules; }
    CallFaults& Faults() { return m_faults; }
    EmulatedRegistry& Registry() { return m_registry; }
    AspiManager& Aspi() { return m_aspi; }
    Vwin32Device& Vwin32() { return m_vwin32; }
    Win9xDevices& Win9x() { return m_win9x; }

    // Device paths (\\.\NAME, matched without regard to case) and the devices behind them.
    void RegisterDevice(const std::string& path, EmulatedDevice* device);
    EmulatedDevice* FindDevice(const std::string& path) const;

    // Device-change broadcasts. Subscribe returns an id for Unsubscribe.
    int SubscribeDeviceChange(DeviceChangeListener listener);
    void UnsubscribeDeviceChange(int id);
    // Sends a notice to every listener; for volume notices `unitMask` names the drive letters.
    void BroadcastDeviceChange(WPARAM event, DWORD unitMask = 0);

    // Forgets what the machine recorded so far: every unit's commands, the disks', the ASPI manager's
    // and VWIN32's requests, the USB devices' transfers and the log of counted calls, so that a long
    // run keeps a flat footprint.
    void ClearRecords();

    // Resources the program holds now: open handles (devices, kernel objects, files), memory
    // blocks from GlobalAlloc and LocalAlloc, and mutexes it owns.
    size_t OpenHandleCount() const { return m_objects.Handles().Count() + m_nativeFiles.size(); }
    size_t OutstandingAllocations() const { return m_allocations.size(); }
    size_t MutexesHeld() const { return m_objects.MutexesOwnedByProgram(); }

    // Bookkeeping for the seam's entries (emulated_table.cpp).
    HandleTable& Handles() { return m_objects.Handles(); }
    std::set<HANDLE>& NativeFiles() { return m_nativeFiles; }
    std::set<void*>& Allocations() { return m_allocations; }
    // Counts a call for fault injection; true (with the last error set) when it must fail.
    bool InjectedFailure(const char* call, DWORD usualError);

private:
    DWORD m_platformId;
    bool m_administrator = true;
    VirtualClock m_clock;
    CallFaults m_faults;
    KernelObjects m_objects;
    EmulatedModules m_modules;
    NtStorage m_storage;
    EmulatedRegistry m_registry;
    AspiManager m_aspi;
    Vwin32Device m_vwin32;
    Win9xDevices m_win9x;
    VendorUsb m_usb;
    std::vector<std::unique_ptr<SimUnit>> m_units;
    std::map<std::string, EmulatedDevice*> m_devices;
    std::map<int, DeviceChangeListener> m_listeners;
    int m_nextListener = 1;
    std::set<HANDLE> m_nativeFiles;
    std::set<void*> m_allocations;
    EmulatedMachine* m_previous;
    SystemTable m_previousTable;
};

// Fills a table with the emulated machine's entries (calls not emulated keep the native ones).
void EmulatedFillTable(SystemTable* table);
