// The scenario's emulated machine and its simulated units.
#include "sim_scenario.h"

#include "argument_list.h"
#include "host/spti/volume_api.h"
#include "unit/unit_table.h"

namespace {

const uint32_t MAX_SIM_UNITS = 8;
const uint32_t MAX_SIM_BLOCKS = 0x100000;  // 512 MiB of simulated card

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

SimScenario::SimScenario(const SimScenarioOptions& options) : m_machine(VER_PLATFORM_WIN32_NT)
{
    for (uint32_t i = 0; i < options.units; ++i) {
        SimUnitConfig config;
        config.product = options.product;
        config.revision = options.revision;
        config.configuration = options.configuration;
        config.cardBlocks = options.cardBlocks;
        const NtSlot slot = NtSlot::Letter(char('E' + i)).Address(1, 0, BYTE(i), 0);
        m_units.push_back(&m_machine.AttachUnit(config, slot));
    }
}

SimScenario::~SimScenario()
{
    // The transports release their handles while the machine that holds them is still there.
    UnitLayerClose();
    VolumeApiReset();
}

bool SimScenario::Start(std::string* error)
{
    // The volume functions are looked up afresh in this machine's modules.
    VolumeApiReset();
    UnitLayerClose();
    if (!UnitLayerOpen()) {
        *error = "the unit layer does not open on the emulated machine (system error " +
                 std::to_string(g_sys.GetLastError()) + ")";
        return false;
    }
    return true;
}
