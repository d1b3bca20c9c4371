// Building the demo's emulated machine and its unit.
#include "tools/demo/demo_scenario.h"

#include <fstream>

#include "platform/win32_window_types.h"
#include "sim/unit/transcript.h"
#include "tools/demo/demo_unit.h"
#include "ui/backend.h"
#include "unit/unit_table.h"

namespace {

SimUnit& AttachPassThroughNt(EmulatedMachine& machine, const SimUnitConfig& config)
{
    return machine.AttachUnit(config, NtSlot::Letter('E').Address(1, 0, 2, 0));
}

// Host adapter 0, target 4, LUN 0, drive E.
SimUnit& AttachAspi(EmulatedMachine& machine, const SimUnitConfig& config)
{
    return machine.AttachAspiUnit(config, 0, 4, 0, 'E');
}

SimUnit& AttachUsb(EmulatedMachine& machine, const SimUnitConfig& config)
{
    return machine.AttachUsbUnit(config);
}

// How a unit is attached, for each platform and transport the emulated machine offers: one line each.
struct Attachment {
    DemoPlatform platform;
    DemoTransport transport;
    SimUnit& (*attach)(EmulatedMachine& machine, const SimUnitConfig& config);
};

const Attachment ATTACHMENTS[] = {
    {DemoPlatform::NT, DemoTransport::PASS_THROUGH, AttachPassThroughNt},
    {DemoPlatform::NT, DemoTransport::USB, AttachUsb},
    {DemoPlatform::WIN9X, DemoTransport::PASS_THROUGH, AttachAspi},
    {DemoPlatform::WIN9X, DemoTransport::USB, AttachUsb},
};

const Attachment* FindAttachment(DemoPlatform platform, DemoTransport transport)
{
    for (const Attachment& attachment : ATTACHMENTS)
        if (attachment.platform == platform && attachment.transport == transport)
            return &attachment;
    return nullptr;
}

DWORD PlatformId(DemoPlatform platform)
{
    return platform == DemoPlatform::WIN9X ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT;
}

}  // namespace

bool DemoCanAttach(DemoPlatform platform, DemoTransport transport)
{
    return FindAttachment(platform, transport) != nullptr;
}

DemoScenario::DemoScenario(const DemoOptions& options, const SimUnitConfig& unit)
    : m_options(options), m_machine(PlatformId(options.platform))
{
    // The notices go to whichever dialogs are open when the system would send them; the volume data
    // of a notice lives only during the broadcast, and the dialogs look at the event type alone.
    unsigned delay = options.restartMs;
    m_listener = m_machine.SubscribeDeviceChange(
        [delay](WPARAM event, LPARAM) { UiPostToAllDialogsLater(delay, WM_DEVICECHANGE, event, 0); });

    const Attachment* attachment = FindAttachment(options.platform, options.transport);
    if (!attachment)
        return;
    m_unit = &attachment->attach(m_machine, DemoUnitConfig(options, unit));
    if (options.fault.kind == DemoFaultKind::SYSTEM_CALL)
        m_machine.Faults().FailNthCall(options.fault.nth);
    else
        DemoInjectUnitFault(*m_unit, options.fault);
}

DemoScenario::~DemoScenario()
{
    m_machine.Faults().Clear();
    UnitLayerClose();
    m_machine.UnsubscribeDeviceChange(m_listener);
}

void DemoScenario::PowerCycle()
{
    if (m_unit)
        m_machine.PowerCycle(*m_unit);
}

bool DemoScenario::WriteTranscript(const std::string& path) const
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (m_unit)
        out << SimTranscript(m_unit->Commands());
    out.close();
    return !out.fail();
}

std::string DemoScenario::Description() const
{
    std::string text = std::string("an emulated ") + DemoPlatformName(m_options.platform) + " machine with a simulated " +
                       m_options.product + " at revision " + m_options.revision + " (version slot " +
                       std::to_string(m_options.slot) + ") on " +
                       DemoTransportName(m_options.platform, m_options.transport);
    switch (m_options.fault.kind) {
    case DemoFaultKind::NONE: break;
    case DemoFaultKind::UNIT_SENSE:
        text += "; its command " + std::to_string(m_options.fault.nth) + " fails with HARDWARE ERROR";
        break;
    case DemoFaultKind::SYSTEM_CALL:
        text += "; system call " + std::to_string(m_options.fault.nth) + " fails";
        break;
    case DemoFaultKind::UNPLUG:
        text += "; it leaves the system after " + std::to_string(m_options.fault.nth) + " commands";
        break;
    }
    return text;
}
