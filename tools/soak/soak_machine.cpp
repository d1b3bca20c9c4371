#include "tools/soak/soak_machine.h"

#include <unistd.h>

#include <cstdio>
#include <fstream>

#include "platform/win32_window_types.h"
#include "sim/unit/sample_image.h"
#include "tools/demo/demo_unit.h"
#include "tools/update_check/download_expectation.h"
#include "tools/update_check/shown_message.h"
#include "ui/backend.h"

namespace {

enum { STORAGE_STACK, ASPI, USB };

// The images carry the units' own versions, so that a unit that saved one comes back as it was and
// every run of a scenario starts alike.
const char OLD_REVISION[] = "1.50";
const char NEW_REVISION[] = "1.99";

const DemoFault FAULTS[] = {
    {DemoFaultKind::NONE, 0},       {DemoFaultKind::UNIT_SENSE, 2},    {DemoFaultKind::UNIT_SENSE, 5},
    {DemoFaultKind::UNIT_SENSE, 8}, {DemoFaultKind::SYSTEM_CALL, 25},  {DemoFaultKind::SYSTEM_CALL, 110},
    {DemoFaultKind::SYSTEM_CALL, 400}, {DemoFaultKind::UNPLUG, 3},     {DemoFaultKind::UNPLUG, 7},
};
const unsigned FAULT_COUNT = sizeof FAULTS / sizeof FAULTS[0];
// Generation, then the four platform-and-transport pairs, then the fault.
const unsigned PAIRS = 4;

// FNV-1a, 64 bits: enough to tell two data phases apart.
uint64_t Hash(const std::vector<uint8_t>& bytes)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3ull;
    return hash;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char digits[3];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

std::string Signature(const UpdateSession& session, const std::vector<SimCommand>& commands, unsigned injected)
{
    std::string signature = session.finalText + "\n" + (session.ended ? "ended" : "did not end") +
                            (session.switchedOff ? ", switched off" : "") + ", " + std::to_string(injected) +
                            " calls failed\n";
    for (const SimCommand& command : commands) {
        char line[160];
        std::snprintf(line, sizeof line, " %d %u status %02x data %016llx %016llx sense ", int(command.direction),
                      unsigned(command.length), command.result.scsiStatus,
                      static_cast<unsigned long long>(Hash(command.dataOut)),
                      static_cast<unsigned long long>(Hash(command.dataIn)));
        signature += Hex(command.cdb) + line + Hex(command.result.sense) + "\n";
    }
    return signature;
}

std::vector<uint8_t> ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// What every run must hold, whatever failed.
std::string Problem(const UpdateSession& session, const std::vector<SimCommand>& commands,
                    const std::vector<ExpectedWrite>& plan, const SoakScenario& scenario)
{
    if (!session.ended)
        return "the run did not end through Quit";
    if (session.mutexesHeld || session.handlesAfterClose || session.allocationsAfterClose)
        return "left behind: " + std::to_string(session.mutexesHeld) + " mutexes, " +
               std::to_string(session.handlesAfterClose) + " handles, " +
               std::to_string(session.allocationsAfterClose) + " memory blocks";
    const ShownMessage shown = ReadShownMessage(session.finalText);
    if (shown.id == SHOWN_NONE)
        return "it ended with a text the program never shows";
    const UnitPath path = scenario.transport == DemoTransport::USB    ? UnitPath::VendorUsb
                          : scenario.platform == DemoPlatform::WIN9X ? UnitPath::Aspi
                                                                     : UnitPath::PassThrough;
    const SentDownload sent = CheckSentDownload(commands, plan, path);
    if (!sent.problem.empty())
        return sent.problem;
    if ((shown.id == 4012) != sent.saveAnsweredGood)
        return "it ended with " + std::to_string(shown.id) + " and the save " +
               (sent.saveAnsweredGood ? "accepted" : "not accepted");
    if (scenario.fault.kind == DemoFaultKind::NONE && shown.id != 4012)
        return "the update without a fault did not end with 4012";
    return std::string();
}

}  // namespace

std::string SoakScenario::Name() const
{
    std::string name = std::string(newGeneration ? "new" : "old") + " generation, " + DemoPlatformName(platform) +
                       ", " + DemoTransportName(platform, transport);
    switch (fault.kind) {
    case DemoFaultKind::NONE: break;
    case DemoFaultKind::UNIT_SENSE: name += ", command " + std::to_string(fault.nth) + " fails"; break;
    case DemoFaultKind::SYSTEM_CALL: name += ", system call " + std::to_string(fault.nth) + " fails"; break;
    case DemoFaultKind::UNPLUG: name += ", unplugged after " + std::to_string(fault.nth) + " commands"; break;
    }
    return name;
}

unsigned SoakScenarioCount()
{
    return 2 * PAIRS * FAULT_COUNT;
}

unsigned SoakScenarioOfUpdate(unsigned update)
{
    return update % SoakScenarioCount();
}

SoakScenario SoakScenarioAt(unsigned index)
{
    SoakScenario scenario;
    scenario.newGeneration = index % 2 != 0;
    const unsigned pair = index / 2 % PAIRS;
    scenario.platform = pair % 2 ? DemoPlatform::WIN9X : DemoPlatform::NT;
    scenario.transport = pair / 2 ? DemoTransport::USB : DemoTransport::PASS_THROUGH;
    scenario.fault = FAULTS[index / (2 * PAIRS) % FAULT_COUNT];
    return scenario;
}

// Built as a 9x machine, so that it has the ASPI manager and VWIN32 also while it reports NT.
SoakMachine::SoakMachine(const std::string& folder)
    : m_machine(new EmulatedMachine(VER_PLATFORM_WIN32_WINDOWS)), m_folder(folder)
{
    // Notices go to whichever dialogs are open when the system sends them.
    m_listener = m_machine->SubscribeDeviceChange(
        [](WPARAM event, LPARAM) { UiPostToAllDialogsLater(0, WM_DEVICECHANGE, event, 0); });
    for (int generation = 0; generation < 2; ++generation) {
        SimUnitConfig config;
        config.product = generation ? "QZV-57H" : "QZV-57G";
        config.revision = generation ? NEW_REVISION : OLD_REVISION;
        m_units[generation][STORAGE_STACK] =
            &m_machine->AttachUnit(config, NtSlot::Letter(char('E' + generation)).Address(1, 0, BYTE(2 + generation), 0));
        m_units[generation][ASPI] = &m_machine->AttachAspiUnit(config, 0, BYTE(4 + generation), 0, char('G' + generation));
        m_units[generation][USB] = &m_machine->AttachUsbUnit(config);
        for (SimUnit* unit : m_units[generation])
            m_machine->Unplug(*unit);
    }
    const std::vector<uint8_t> images[2] = {SampleOldImage(OLD_REVISION, 0x4001),
                                            SampleNewImage({NEW_REVISION, NEW_REVISION, NEW_REVISION, NEW_REVISION},
                                                           0x20001)};
    for (int generation = 0; generation < 2; ++generation) {
        m_images[generation] = folder + (generation ? "/soak-new.bin" : "/soak-old.bin");
        std::ofstream(m_images[generation], std::ios::binary)
            .write(reinterpret_cast<const char*>(images[generation].data()), std::streamsize(images[generation].size()));
    }
    m_machine->ClearRecords();
}

SoakMachine::~SoakMachine()
{
    m_machine->UnsubscribeDeviceChange(m_listener);
    for (const std::string& image : m_images)
        unlink(image.c_str());
}

SimUnit& SoakMachine::UnitFor(const SoakScenario& scenario)
{
    const int transport = scenario.transport == DemoTransport::USB  ? USB
                          : scenario.platform == DemoPlatform::WIN9X ? ASPI
                                                                     : STORAGE_STACK;
    return *m_units[scenario.newGeneration][transport];
}

SoakRun SoakMachine::Run(const SoakScenario& scenario)
{
    EmulatedMachine& machine = *m_machine;
    machine.SetPlatformId(scenario.platform == DemoPlatform::WIN9X ? VER_PLATFORM_WIN32_WINDOWS : VER_PLATFORM_WIN32_NT);
    SimUnit& unit = UnitFor(scenario);
    machine.Replug(unit);
    if (scenario.fault.kind == DemoFaultKind::SYSTEM_CALL)
        machine.Faults().FailNthCall(scenario.fault.nth);
    else
        DemoInjectUnitFault(unit, scenario.fault);
    const std::string& image = m_images[scenario.newGeneration];
    SoakRun run;
    run.session = RunUpdateSession(machine, &unit, image.c_str(), UpdateSessionOptions());
    unit.ClearFaults();
    if (unit.Present())
        machine.Unplug(unit);
    run.signature = Signature(run.session, unit.Commands(), machine.Faults().Injected());
    run.problem = Problem(run.session, unit.Commands(), ExpectedDownload(ReadAll(image), scenario.newGeneration),
                          scenario);
    machine.ClearRecords();
    return run;
}
