// The simulated unit as the demo's options describe it: its configuration, and the faults that are
// the unit's own (the others belong to the emulated machine). qzvsim builds its units the same way.
#pragma once

#include "sim/sim_unit.h"
#include "tools/demo/demo_options.h"

SimUnitConfig DemoUnitConfig(const DemoOptions& options);

// Whether the fault is one the unit carries itself (HARDWARE ERROR sense, unplug).
bool DemoIsUnitFault(const DemoFault& fault);
// Gives the unit its fault, when it is one of the unit's own.
void DemoInjectUnitFault(SimUnit& unit, const DemoFault& fault);
