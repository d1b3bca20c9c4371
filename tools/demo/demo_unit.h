// The simulated unit as the demo's options describe it: its configuration, and the faults that are
// the unit's own (the others belong to the emulated machine). qzvsim builds its units the same way.
#pragma once

#include "sim/sim_unit.h"
#include "tools/demo/demo_options.h"

// The unit's product, revision and configuration value are the options'; the rest is `base`'s.
SimUnitConfig DemoUnitConfig(const DemoOptions& options, const SimUnitConfig& base = SimUnitConfig());

// Whether the fault is one the unit carries itself (HARDWARE ERROR sense, unplug).
bool DemoIsUnitFault(const DemoFault& fault);
// Gives the unit its fault, when it is one of the unit's own.
void DemoInjectUnitFault(SimUnit& unit, const DemoFault& fault);
