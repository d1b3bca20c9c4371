#include "tools/demo/demo_unit.h"

namespace {

// The configuration value's version slot: bits 13-14.
const unsigned SLOT_SHIFT = 13;

// HARDWARE ERROR, internal target failure: a sense no step of an update expects.
const uint8_t FAULT_SENSE_KEY = 0x04, FAULT_ASC = 0x44, FAULT_ASCQ = 0x00;

}  // namespace

SimUnitConfig DemoUnitConfig(const DemoOptions& options, const SimUnitConfig& base)
{
    SimUnitConfig config = base;
    config.product = options.product;
    config.revision = options.revision;
    config.configuration = options.slot << SLOT_SHIFT;
    return config;
}

bool DemoIsUnitFault(const DemoFault& fault)
{
    return fault.kind == DemoFaultKind::UNIT_SENSE || fault.kind == DemoFaultKind::UNPLUG;
}

void DemoInjectUnitFault(SimUnit& unit, const DemoFault& fault)
{
    if (fault.kind == DemoFaultKind::UNIT_SENSE)
        unit.FailCommandWithSense(fault.nth, FAULT_SENSE_KEY, FAULT_ASC, FAULT_ASCQ);
    else if (fault.kind == DemoFaultKind::UNPLUG)
        unit.UnplugAfter(fault.nth);
}
