#include "sim/machine/win9x_devices.h"

#include <cstdio>

#include "sim/machine/emulated_machine.h"

namespace {

// An identification field of the INQUIRY data as the configuration manager stores it: trailing
// blanks cut off.
std::string Trimmed(const std::vector<uint8_t>& inquiry, size_t offset, size_t size)
{
    std::string text(inquiry.begin() + static_cast<long>(offset), inquiry.begin() + static_cast<long>(offset + size));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\0'))
        text.pop_back();
    return text;
}

// The identity part of a hardware key name: vendor and product with blanks as underscores.
std::string DeviceName(const std::vector<uint8_t>& inquiry)
{
    std::string name(inquiry.begin() + 8, inquiry.begin() + 32);
    for (char& c : name) {
        if (c == ' ' || c == '\0' || c == '\\')
            c = '_';
    }
    return name;
}

DWORD LetterBit(char letter)
{
    return letter >= 'A' && letter <= 'Z' ? 1u << (letter - 'A') : 0;
}

}  // namespace

void Win9xDevices::Install()
{
    m_machine.Modules().Add("WNASPI32.DLL", AspiManagerEntries());
    m_machine.RegisterDevice("\\\\.\\VWIN32", &m_machine.Vwin32());
    // Devices of other kinds come first in the walk, as the system's own do.
    AddDevNode("C29A1000", "HTREE\\ROOT\\0");
    HardwareKey("HTREE\\ROOT\\0").SetString("DeviceDesc", "Root of the hardware tree");
    AddDevNode("C29A1C30", "ROOT\\*PNP0A03\\0000");
    HardwareKey("ROOT\\*PNP0A03\\0000").SetString("Class", "System").SetString("DeviceDesc", "PCI bus");
    AddDevNode("C29A2870", "SCSIADAPTER\\EMULATED\\0000");
    HardwareKey("SCSIADAPTER\\EMULATED\\0000")
        .SetString("Class", "SCSIAdapter")
        .SetString("DeviceDesc", "SCSI host adapter");
}

RegistryKey& Win9xDevices::AddDevNode(const std::string& name, const std::string& hardwareKey)
{
    RegistryKey& devNode = m_machine.Registry().Key(HKEY_DYN_DATA, WIN9X_DEVNODES).Subkey(name);
    devNode.SetString("HardWareKey", hardwareKey);
    devNode.SetValue("Status", REG_BINARY, {0x0B, 0x60, 0x00, 0x00});
    devNode.SetValue("Problem", REG_BINARY, {0x00, 0x00, 0x00, 0x00});
    return devNode;
}

RegistryKey& Win9xDevices::HardwareKey(const std::string& path)
{
    return m_machine.Registry().Key(HKEY_LOCAL_MACHINE, "Enum\\" + path);
}

const Win9xUnit& Win9xDevices::Attach(SimUnit* unit, BYTE adapter, BYTE target, BYTE lun, char driveLetter)
{
    Win9xUnit entry;
    entry.unit = unit;
    entry.adapter = adapter;
    entry.target = target;
    entry.lun = lun;
    entry.driveLetter = driveLetter;
    char instance[48];
    std::snprintf(instance, sizeof instance, "BUS%u&TARGET%u&LUN%u", adapter, target, lun);
    const std::vector<uint8_t> inquiry = unit->InquiryData();
    entry.hardwareKey = "SCSI\\" + DeviceName(inquiry) + "\\" + instance;
    char devNode[16];
    std::snprintf(devNode, sizeof devNode, "C2A0%04X", static_cast<unsigned>(0x3000 + 0x1C * m_units.size()));
    entry.devNode = devNode;

    char number[8];
    RegistryKey& key = HardwareKey(entry.hardwareKey);
    key.SetString("Class", "DiskDrive");
    key.SetString("DeviceDesc", Trimmed(inquiry, 8, 8) + " " + Trimmed(inquiry, 16, 16));
    key.SetString("Manufacturer", Trimmed(inquiry, 8, 8));
    key.SetString("ProductId", Trimmed(inquiry, 16, 16));
    key.SetString("RevisionLevel", Trimmed(inquiry, 32, 4));
    std::snprintf(number, sizeof number, "%u", target);
    key.SetString("SCSITargetID", number);
    std::snprintf(number, sizeof number, "%u", lun);
    key.SetString("SCSILUN", number);
    key.SetValue("Removable", REG_BINARY, {0x01});
    if (driveLetter) {
        key.SetString("CurrentDriveLetterAssignment", std::string(1, driveLetter));
        m_machine.Vwin32().AddDrive(driveLetter, unit);
    }
    m_machine.Aspi().Attach(unit, adapter, target, lun);
    m_units.push_back(entry);
    NoticePresenceChanges();
    return *Find(*unit);
}

const Win9xUnit* Win9xDevices::Find(const SimUnit& unit) const
{
    for (const Win9xUnit& entry : m_units) {
        if (entry.unit == &unit)
            return &entry;
    }
    return nullptr;
}

void Win9xDevices::NoticePresenceChanges()
{
    for (Win9xUnit& entry : m_units) {
        const bool present = entry.unit->Present();
        if (present == entry.present)
            continue;
        entry.present = present;
        if (present)
            AddDevNode(entry.devNode, entry.hardwareKey);
        else
            m_machine.Registry().Key(HKEY_DYN_DATA, WIN9X_DEVNODES).RemoveSubkey(entry.devNode);
        m_machine.BroadcastDeviceChange(present ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE,
                                        LetterBit(entry.driveLetter));
        m_machine.BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    }
}
