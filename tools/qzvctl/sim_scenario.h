// Running the tool without hardware: an emulated Windows NT machine with the simulated units of a
// scenario given on the command line behind its drive letters (E:, F:, ...). Every command then goes
// through the unit table, the pass-through transport and the emulated storage stack exactly as it
// would on a real machine. The emulated machine offers the NT family only (--sim-platform nt).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sim/machine/emulated_machine.h"
#include "sim/sim_unit.h"

struct SimScenarioOptions {
    bool enabled = false;
    std::string product = "QZV-57H";
    std::string revision = "1.99";
    uint32_t configuration = 0;
    std::string platform = "nt";
    uint32_t units = 1;
    uint32_t cardBlocks = 2048;
};

class ArgumentList;

// The scenario options of the command line (--sim, --sim-product, --sim-revision, --sim-config,
// --sim-platform, --sim-units, --sim-blocks). Any of them turns the simulation on. False with a
// message for a value out of range.
bool ReadSimScenarioOptions(const ArgumentList& arguments, SimScenarioOptions* options, std::string* error);

// The option names, for the command-line parser.
extern const char* const SIM_SCENARIO_FLAGS[];
extern const char* const SIM_SCENARIO_VALUED[];

class SimScenario {
public:
    // Puts the emulated machine in force, with the scenario's units attached.
    explicit SimScenario(const SimScenarioOptions& options);
    // Closes the unit layer and puts the system's own calls back.
    ~SimScenario();
    SimScenario(const SimScenario&) = delete;
    SimScenario& operator=(const SimScenario&) = delete;

    // Opens the unit layer on the emulated machine. False with a message when it does not open.
    bool Start(std::string* error);

    SimUnit& Unit(size_t index) { return *m_units[index]; }
    EmulatedMachine& Machine() { return m_machine; }

private:
    EmulatedMachine m_machine;
    std::vector<SimUnit*> m_units;
};
