// The scenario's simulated units and the host-interface transport that carries commands to them.
#include "sim_scenario.h"

#include "argument_list.h"
#include "host/host_io.h"
#include "platform/system_table.h"
#include "unit/unit_table.h"

namespace {

const uint32_t MAX_SIM_UNITS = 8;
const uint32_t MAX_SIM_BLOCKS = 0x100000;  // 512 MiB of simulated card

// The transport's state: the units, in enumeration order, and one CDB area each.
struct SimTransport {
    std::vector<SimUnit*> units;
    std::vector<SimUnit*> found;
    std::vector<std::vector<BYTE>> areas;
};
SimTransport s_transport;

bool Known(DWORD unit)
{
    if (unit < s_transport.found.size())
        return true;
    g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
    return false;
}

BOOL SimTerm(void)
{
    return TRUE;
}

DWORD SimEnumerate(HostIoFilter filter, const char* deviceClass)
{
    s_transport.found.clear();
    if (!deviceClass || !*deviceClass)
        return 0;
    for (SimUnit* unit : s_transport.units) {
        if (unit->Present() && filter(unit->InquiryData().data()))
            s_transport.found.push_back(unit);
    }
    s_transport.areas.assign(s_transport.found.size(), std::vector<BYTE>(16, 0));
    return DWORD(s_transport.found.size());
}

BYTE* SimGetCdb(DWORD unit)
{
    return Known(unit) ? s_transport.areas[unit].data() : nullptr;
}

// The status rule of the host interface: 0 without sense, else ASC, ASCQ and the sense key of the
// fixed-format sense; 4 when the command did not reach the unit.
UnitStatus SimExecute(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    if (!Known(unit))
        return 5;
    SimDirection simDirection = SimDirection::None;
    if ((direction & 0xFF) == UnitDataIn)
        simDirection = SimDirection::In;
    else if ((direction & 0xFF) == UnitDataOut)
        simDirection = SimDirection::Out;
    const SimResult result = s_transport.found[unit]->Execute(s_transport.areas[unit].data(), cdbLength & 0xFF,
                                                              simDirection, static_cast<uint8_t*>(data), length);
    if (result.deviceGone)
        return 4;
    if (result.scsiStatus == 0)
        return 0;
    const std::vector<uint8_t>& sense = result.sense;
    const auto at = [&sense](size_t i) { return i < sense.size() ? UnitStatus(sense[i]) : 0u; };
    return at(12) << 24 | at(13) << 16 | (at(2) & 0x0F);
}

BOOL SimGetDriveLetter(DWORD unit, DWORD* letter)
{
    if (!Known(unit))
        return FALSE;
    if (letter)
        *letter = 'E' + unit;
    return TRUE;
}

BOOL SimGetDeviceNumber(DWORD unit, DWORD* number)
{
    if (!Known(unit))
        return FALSE;
    if (number)
        *number = unit;
    return TRUE;
}

BOOL SimUnitOperation(DWORD unit)
{
    return Known(unit) ? TRUE : FALSE;
}

const HostInterface SIM_TRANSPORT = {SimTerm,           SimEnumerate,     SimGetCdb,        SimExecute,
                                     SimGetDriveLetter, SimGetDeviceNumber, SimUnitOperation, SimUnitOperation,
                                     SimUnitOperation,  SimUnitOperation};

// The layer opens the platform's host interface first; the scenario stands on the NT family so
// that it opens on any build, and then replaces the transport with its own.
BOOL WINAPI NtFamilyVersion(LPOSVERSIONINFOA version)
{
    version->dwMajorVersion = 5;
    version->dwMinorVersion = 1;
    version->dwBuildNumber = 2600;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    version->szCSDVersion[0] = 0;
    return TRUE;
}

}  // namespace

const char* const SIM_SCENARIO_FLAGS[] = {"--sim", nullptr};
const char* const SIM_SCENARIO_VALUED[] = {"--sim-product", "--sim-revision", "--sim-config", "--sim-platform",
                                           "--sim-units",   "--sim-blocks",   nullptr};

bool ReadSimScenarioOptions(const ArgumentList& arguments, SimScenarioOptions* options, std::string* error)
{
    for (const char* const* name = SIM_SCENARIO_FLAGS; *name; ++name)
        options->enabled = options->enabled || arguments.Has(*name);
    for (const char* const* name = SIM_SCENARIO_VALUED; *name; ++name)
        options->enabled = options->enabled || arguments.Has(*name);

    options->product = arguments.Value("--sim-product", options->product);
    if (options->product.empty() || options->product.size() > 16) {
        *error = "bad --sim-product '" + options->product + "': expected 1 to 16 characters";
        return false;
    }
    options->revision = arguments.Value("--sim-revision", options->revision);
    if (options->revision.size() != 4) {
        *error = "bad --sim-revision '" + options->revision + "': expected exactly 4 characters, such as 1.99";
        return false;
    }
    options->platform = arguments.Value("--sim-platform", options->platform);
    if (options->platform != "nt") {
        *error = "bad --sim-platform '" + options->platform + "': the simulation offers the NT family (nt) only";
        return false;
    }
    uint64_t number = 0;
    if (arguments.Has("--sim-config")) {
        if (!ParseNumber(arguments.Value("--sim-config"), 0xFFFFFFFFu, "--sim-config", &number, error))
            return false;
        options->configuration = uint32_t(number);
    }
    if (arguments.Has("--sim-units")) {
        if (!ParseNumber(arguments.Value("--sim-units"), MAX_SIM_UNITS, "--sim-units", &number, error))
            return false;
        options->units = uint32_t(number);
    }
    if (arguments.Has("--sim-blocks")) {
        if (!ParseNumber(arguments.Value("--sim-blocks"), MAX_SIM_BLOCKS, "--sim-blocks", &number, error))
            return false;
        if (number == 0) {
            *error = "bad --sim-blocks '0': the simulated card needs at least one block";
            return false;
        }
        options->cardBlocks = uint32_t(number);
    }
    return true;
}

SimScenario::SimScenario(const SimScenarioOptions& options)
{
    for (uint32_t i = 0; i < options.units; ++i) {
        SimUnitConfig config;
        config.product = options.product;
        config.revision = options.revision;
        config.configuration = options.configuration;
        config.cardBlocks = options.cardBlocks;
        m_units.push_back(std::make_unique<SimUnit>(config));
    }
}

SimScenario::~SimScenario()
{
    if (m_started) {
        UnitLayerClose();
        s_transport = SimTransport();
        SystemTableReset();
    }
}

bool SimScenario::Start(std::string* error)
{
    m_started = true;
    g_sys.GetVersionExA = NtFamilyVersion;
    UnitLayerClose();
    if (!UnitLayerOpen()) {
        *error = "the unit layer does not open (system error " + std::to_string(g_sys.GetLastError()) + ")";
        return false;
    }
    s_transport = SimTransport();
    for (auto& unit : m_units)
        s_transport.units.push_back(unit.get());
    HostIoInstall(&SIM_TRANSPORT);
    return true;
}
