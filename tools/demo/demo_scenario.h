// The demo's world: an emulated Windows machine with one simulated unit, attached on the platform and
// transport the options name, with the fault they name, and the machine's device-change notices
// delivered to the dialogs of the backend in force.
#pragma once

#include <string>

#include "sim/machine/emulated_machine.h"
#include "tools/demo/demo_options.h"

// Whether this build's emulated machine can attach a unit on that platform and transport.
bool DemoCanAttach(DemoPlatform platform, DemoTransport transport);

class DemoScenario {
public:
    // Builds the machine (its system table is in force from now on) and attaches the unit, unless
    // DemoCanAttach refuses the combination; then Unit() is null. The unit's product, revision and
    // configuration are the options'; the rest of its configuration is `unit`'s.
    explicit DemoScenario(const DemoOptions& options, const SimUnitConfig& unit = SimUnitConfig());
    // Closes the unit layer, whose handles belong to this machine, before the machine goes.
    ~DemoScenario();
    DemoScenario(const DemoScenario&) = delete;
    DemoScenario& operator=(const DemoScenario&) = delete;

    EmulatedMachine& Machine() { return m_machine; }
    SimUnit* Unit() { return m_unit; }
    const DemoOptions& Options() const { return m_options; }

    // "Switches the unit off and on": it comes back with the revision of the firmware it saved.
    void PowerCycle();

    // Every command the unit received, one line each (sim/unit/transcript.h); false when the file
    // cannot be written.
    bool WriteTranscript(const std::string& path) const;

    // One line on what the machine holds, for the demo's first remark.
    std::string Description() const;

private:
    DemoOptions m_options;
    EmulatedMachine m_machine;
    SimUnit* m_unit = nullptr;
    int m_listener = 0;
};
