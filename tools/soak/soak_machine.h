// The soak run's world: one emulated machine holding a unit of each generation on each of the
// demo's transports (the NT storage stack, the 9x ASPI manager, the vendor USB driver), all out of
// the system but the one an update is for; the machine reports Windows NT or 9x as the update needs.
// The scenarios alternate the generation with every update, the platform and transport with every
// second and fourth, and the injected fault with every eighth.
#pragma once

#include <memory>
#include <string>

#include "sim/machine/emulated_machine.h"
#include "tools/demo/demo_options.h"
#include "tools/update_check/update_session.h"

struct SoakScenario {
    bool newGeneration = false;
    DemoPlatform platform = DemoPlatform::NT;
    DemoTransport transport = DemoTransport::PASS_THROUGH;
    DemoFault fault;

    std::string Name() const;
};

// How many scenarios there are, and the one update number `update` (from 0) runs.
unsigned SoakScenarioCount();
unsigned SoakScenarioOfUpdate(unsigned update);
SoakScenario SoakScenarioAt(unsigned index);

struct SoakRun {
    UpdateSession session;
    // The end text and every command the unit received with its answer: two runs of a scenario
    // that end alike have the same signature.
    std::string signature;
    std::string problem;  // empty when the run was sound
};

class SoakMachine {
public:
    // The machine and its units; the two images are written into `folder`.
    explicit SoakMachine(const std::string& folder);
    ~SoakMachine();
    SoakMachine(const SoakMachine&) = delete;
    SoakMachine& operator=(const SoakMachine&) = delete;

    // One update of the scenario on its unit, which is then taken out of the system again; what the
    // machine recorded of it is forgotten afterwards.
    SoakRun Run(const SoakScenario& scenario);

    EmulatedMachine& Machine() { return *m_machine; }

private:
    SimUnit& UnitFor(const SoakScenario& scenario);

    std::unique_ptr<EmulatedMachine> m_machine;
    SimUnit* m_units[2][3] = {};  // generation, then storage stack, ASPI, USB
    std::string m_images[2];
    std::string m_folder;
    int m_listener = 0;
};
