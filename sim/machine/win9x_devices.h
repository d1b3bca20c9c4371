// The 9x family's side of the emulated machine: the ASPI manager's module, the VWIN32 device, and
// the configuration manager's registry trees (the devnodes it holds now under HKEY_DYN_DATA, the
// hardware keys under HKEY_LOCAL_MACHINE\Enum). A unit attached here is in all of them at once: at
// its adapter, target and LUN for the manager, with a devnode and a hardware key (target id, LUN,
// identity, drive letter) in the registry, and with its drive letter at VWIN32. When it leaves the
// system its devnode goes, and the removal is broadcast; when it comes back, both return.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_registry.h"
#include "sim/sim_unit.h"

class EmulatedMachine;
class RegistryKey;

// Where the configuration manager keeps its devnodes.
#define WIN9X_DEVNODES "Config Manager\\Enum"

struct Win9xUnit {
    SimUnit* unit = nullptr;
    BYTE adapter = 0, target = 0, lun = 0;
    char driveLetter = 0;      // 0: none assigned
    std::string devNode;       // its subkey name under HKEY_DYN_DATA\Config Manager\Enum
    std::string hardwareKey;   // its path under HKEY_LOCAL_MACHINE\Enum
    bool present = false;      // as last noticed
};

class Win9xDevices {
public:
    explicit Win9xDevices(EmulatedMachine& machine) : m_machine(machine) {}

    // Puts WNASPI32.DLL among the modules, "\\.\VWIN32" among the devices, and lays out the two
    // registry trees with the devnodes of a few devices of other kinds.
    void Install();

    // Attaches the unit (owned by the machine) and announces its arrival.
    const Win9xUnit& Attach(SimUnit* unit, BYTE adapter, BYTE target, BYTE lun, char driveLetter);
    const Win9xUnit* Find(const SimUnit& unit) const;
    const std::vector<Win9xUnit>& Units() const { return m_units; }

    // A devnode whose "HardWareKey" is `hardwareKey` (text as given), appended to the devnodes the
    // configuration manager holds; its key is returned for further values.
    RegistryKey& AddDevNode(const std::string& name, const std::string& hardwareKey);
    // The hardware key at HKEY_LOCAL_MACHINE\Enum\<path>, created on demand.
    RegistryKey& HardwareKey(const std::string& path);

    // Takes the devnodes of units that left the system away (and gives back those of units that
    // returned), broadcasting each change.
    void NoticePresenceChanges();

private:
    EmulatedMachine& m_machine;
    std::vector<Win9xUnit> m_units;
};
