// Running the tool without hardware: simulated units of a scenario given on the command line, put
// behind the host interface in place of the platform's transport, so that every command goes
// through the unit table and the unit commands exactly as with a real unit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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
    explicit SimScenario(const SimScenarioOptions& options);
    // Closes the unit layer and puts the system's own calls back.
    ~SimScenario();
    SimScenario(const SimScenario&) = delete;
    SimScenario& operator=(const SimScenario&) = delete;

    // Opens the unit layer with the simulated units behind the host interface. False with a message
    // when the layer does not open.
    bool Start(std::string* error);

    SimUnit& Unit(size_t index) { return *m_units[index]; }
    size_t UnitCount() const { return m_units.size(); }

private:
    std::vector<std::unique_ptr<SimUnit>> m_units;
    bool m_started = false;
};
