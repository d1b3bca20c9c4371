// Runs the host-interface operations on simulated units.
#include "unit/sim_host_transport.h"

#include <algorithm>

#include "platform/system_table.h"

SimHostTransport* SimHostTransport::s_current = nullptr;

struct SimHostOperations {
    static SimHostTransport& T() { return *SimHostTransport::s_current; }

    static bool Valid(DWORD unit)
    {
        if (unit < T().found.size())
            return true;
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return false;
    }

    static BOOL Term(void) { return TRUE; }

    static DWORD Enumerate(HostIoFilter filter, const char* deviceClass)
    {
        SimHostTransport& t = T();
        t.found.clear();
        t.m_areas.clear();
        t.deviceClass = deviceClass ? deviceClass : "";
        if (t.deviceClass.empty())
            return 0;
        for (SimUnit* unit : t.attached) {
            if (!unit->Present())
                continue;
            const std::vector<uint8_t> inquiry = unit->InquiryData();
            if (filter(inquiry.data()))
                t.found.push_back(unit);
        }
        t.m_areas.assign(t.found.size(), std::vector<uint8_t>(16, 0));
        return static_cast<DWORD>(t.found.size());
    }

    static BYTE* GetCdb(DWORD unit) { return Valid(unit) ? T().m_areas[unit].data() : nullptr; }

    static UnitStatus Execute(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length)
    {
        SimHostTransport& t = T();
        if (!Valid(unit))
            return 5;
        SimUnit* sim = t.found[unit];
        if (std::find(t.busy.begin(), t.busy.end(), sim) != t.busy.end())
            return 11;
        SimDirection simDirection = SimDirection::None;
        if ((direction & 0xFF) == UnitDataIn)
            simDirection = SimDirection::In;
        else if ((direction & 0xFF) == UnitDataOut)
            simDirection = SimDirection::Out;
        std::vector<uint8_t> sent;
        uint8_t* bytes = static_cast<uint8_t*>(data);
        if (simDirection == SimDirection::Out && length > 0 && t.corruptDataOfCommand > 0 &&
            --t.corruptDataOfCommand == 0) {
            sent.assign(bytes, bytes + length);
            sent[length / 2] ^= 0x01;
            bytes = sent.data();
        }
        const SimResult result = sim->Execute(t.m_areas[unit].data(), cdbLength & 0xFF, simDirection, bytes, length);
        return SimHostTransport::StatusOf(result);
    }

    static BOOL Record(const char* name, DWORD unit)
    {
        T().calls.emplace_back(name, unit);
        return Valid(unit);
    }
    static BOOL GetDriveLetter(DWORD unit, DWORD* letter)
    {
        if (!Record("getDriveLetter", unit))
            return FALSE;
        if (letter)
            *letter = 'E' + unit;
        return TRUE;
    }
    static BOOL GetDeviceNumber(DWORD unit, DWORD* number)
    {
        if (!Record("getDeviceNumber", unit))
            return FALSE;
        if (number)
            *number = 100 + unit;
        return TRUE;
    }
    static BOOL LoadMedium(DWORD unit) { return Record("loadMedium", unit); }
    static BOOL EjectMedium(DWORD unit) { return Record("ejectMedium", unit); }
    static BOOL Lock(DWORD unit) { return Record("lock", unit); }
    static BOOL Unlock(DWORD unit) { return Record("unlock", unit); }
};

SimHostTransport::SimHostTransport()
{
    s_current = this;
}

SimHostTransport::~SimHostTransport()
{
    s_current = nullptr;
}

void SimHostTransport::Install()
{
    static const HostInterface operations = {
        SimHostOperations::Term,           SimHostOperations::Enumerate,      SimHostOperations::GetCdb,
        SimHostOperations::Execute,        SimHostOperations::GetDriveLetter, SimHostOperations::GetDeviceNumber,
        SimHostOperations::LoadMedium,     SimHostOperations::EjectMedium,    SimHostOperations::Lock,
        SimHostOperations::Unlock,
    };
    s_current = this;
    HostIoInstall(&operations);
}

UnitStatus SimHostTransport::StatusOf(const SimResult& result)
{
    if (result.scsiStatus == 0)
        return 0;
    if (result.sense.size() < 14)
        return 4;
    return UnitStatus(result.sense[12]) << 24 | UnitStatus(result.sense[13]) << 16 | (result.sense[2] & 0x0F);
}
