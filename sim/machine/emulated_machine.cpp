#include "sim/machine/emulated_machine.h"

#include <cctype>

namespace {

EmulatedMachine* s_current = nullptr;

std::string DeviceKey(const std::string& path)
{
    std::string key;
    for (char c : path)
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // \\?\NAME and \\.\NAME name the same device.
    if (key.compare(0, 4, "\\\\?\\") == 0)
        key[2] = '.';
    return key;
}

}  // namespace

EmulatedMachine::EmulatedMachine(DWORD platformId)
    : m_platformId(platformId),
      m_objects(m_clock),
      m_storage(*this),
      m_registry(m_objects.Handles()),
      m_aspi(*this),
      m_win9x(*this),
      m_usb(*this),
      m_previous(s_current),
      m_previousTable(g_sys)
{
    m_modules.Add("KERNEL32.DLL", NtVolumeFunctions());
    if (platformId == VER_PLATFORM_WIN32_WINDOWS)
        m_win9x.Install();
    s_current = this;
    SystemTable table = SystemNativeTable();
    EmulatedFillTable(&table);
    SystemTableInstall(table);
}

EmulatedMachine::~EmulatedMachine()
{
    s_current = m_previous;
    SystemTableInstall(m_previousTable);
}

EmulatedMachine* EmulatedMachine::Current()
{
    return s_current;
}

SimUnit& EmulatedMachine::AttachUnit(const SimUnitConfig& config, const NtSlot& slot)
{
    m_units.push_back(std::make_unique<SimUnit>(config));
    SimUnit& unit = *m_units.back();
    m_storage.Attach(&unit, slot);
    m_storage.NoticePresenceChanges();
    return unit;
}

SimUnit& EmulatedMachine::AttachAspiUnit(const SimUnitConfig& config, BYTE adapter, BYTE target, BYTE lun,
                                         char driveLetter)
{
    m_units.push_back(std::make_unique<SimUnit>(config));
    SimUnit& unit = *m_units.back();
    m_win9x.Attach(&unit, adapter, target, lun, driveLetter);
    return unit;
}

SimUnit& EmulatedMachine::AttachUsbUnit(const SimUnitConfig& config, const UsbSlot& slot)
{
    m_units.push_back(std::make_unique<SimUnit>(config));
    SimUnit& unit = *m_units.back();
    m_usb.Attach(&unit, slot);
    m_usb.NoticePresenceChanges();
    return unit;
}

UsbDevice& EmulatedMachine::UsbDeviceOf(const SimUnit& unit)
{
    return *m_usb.DeviceOf(unit);
}

NtDisk& EmulatedMachine::Disk(const SimUnit& unit)
{
    return *m_storage.DiskOf(unit);
}

void EmulatedMachine::ClearRecords()
{
    for (auto& unit : m_units)
        unit->ClearCommands();
    for (auto& disk : m_storage.Disks())
        disk->ClearRecords();
    for (auto& device : m_usb.Devices())
        device->ClearRecords();
    m_aspi.ClearRecords();
    m_vwin32.ClearRecords();
    m_faults.ClearLog();
}

void EmulatedMachine::Unplug(SimUnit& unit)
{
    unit.Unplug();
    m_storage.NoticePresenceChanges();
    m_win9x.NoticePresenceChanges();
    m_usb.NoticePresenceChanges();
}

void EmulatedMachine::Replug(SimUnit& unit)
{
    unit.Replug();
    m_storage.NoticePresenceChanges();
    m_win9x.NoticePresenceChanges();
    m_usb.NoticePresenceChanges();
}

void EmulatedMachine::PowerCycle(SimUnit& unit)
{
    unit.PowerCycle();
    m_storage.NoticePresenceChanges();
    m_win9x.NoticePresenceChanges();
    m_usb.NoticePresenceChanges();
}

void EmulatedMachine::RegisterDevice(const std::string& path, EmulatedDevice* device)
{
    m_devices[DeviceKey(path)] = device;
}

EmulatedDevice* EmulatedMachine::FindDevice(const std::string& path) const
{
    auto found = m_devices.find(DeviceKey(path));
    return found == m_devices.end() ? nullptr : found->second;
}

int EmulatedMachine::SubscribeDeviceChange(DeviceChangeListener listener)
{
    int id = m_nextListener++;
    m_listeners[id] = std::move(listener);
    return id;
}

void EmulatedMachine::UnsubscribeDeviceChange(int id)
{
    m_listeners.erase(id);
}

void EmulatedMachine::BroadcastDeviceChange(WPARAM event, DWORD unitMask)
{
    DEV_BROADCAST_VOLUME volume = {};
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitMask;
    bool volumeNotice = event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE;
    LPARAM data = volumeNotice ? reinterpret_cast<LPARAM>(&volume) : 0;
    // A listener may unsubscribe while it is called: walk a copy.
    std::map<int, DeviceChangeListener> listeners = m_listeners;
    for (auto& entry : listeners)
        entry.second(event, data);
}

bool EmulatedMachine::InjectedFailure(const char* call, DWORD usualError)
{
    DWORD error = 0;
    if (!m_faults.Strike(call, usualError, &error))
        return false;
    g_sys.SetLastError(error);
    return true;
}
