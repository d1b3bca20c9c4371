// The shared update sweep.
#include "support/update_sweep.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>

#include "host/spti/volume_api.h"
#include "sim/unit/sample_image.h"
#include "unit/unit_table.h"

namespace {

const uint8_t WRITE_BUFFER = 0x3B;
const unsigned MAX_FAULTS = 5000;

// Both generations with images of odd length. For the unit's commands the new image reaches all three
// pieces; the system calls of a piece are the same for each, so two pieces do there, and the many
// runs that compute the image's CRC take half the time.
std::vector<SweepGeneration> Generations()
{
    std::vector<uint8_t> old = SampleOldImage("1.60", 0x4001);
    return {{"old", "QZV-57G", "1.50", old, old},
            {"new", "QZV-57H", "1.99", SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x10001),
             SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, 0x20001)}};
}

SweepRun RunOnce(const SweepCase& where, const SweepProgram& program)
{
    DemoOptions options;
    options.product = where.generation->product;
    options.revision = where.generation->revision;
    options.platform = where.platform;
    options.transport = where.transport;
    options.restartMs = 0;
    // The volume functions are looked up afresh on each machine, as a new process would.
    VolumeApiReset();
    DemoScenario scenario(options);
    if (where.fault)
        where.fault->arm(scenario, where.n);

    SweepRun run;
    program(where, scenario, run);

    EmulatedMachine& machine = scenario.Machine();
    run.commands = scenario.Unit()->Commands();
    run.present = scenario.Unit()->Present();
    run.saved = scenario.Unit()->SavedImage();
    if (where.fault && where.fault->systemCall) {
        run.fired = machine.Faults().Injected() > 0;
        if (run.fired)
            run.failedCall = machine.Faults().Log()[where.n - 1];
    } else if (where.fault) {
        run.fired = run.commands.size() >= where.n;
    }
    run.mutexesHeld = machine.MutexesHeld();
    machine.Faults().Clear();
    UnitLayerClose();
    run.handlesAfterClose = machine.OpenHandleCount();
    run.allocationsAfterClose = machine.OutstandingAllocations();
    return run;
}

void ExpectSoundEnd(const SweepRun& run, const SweepRun& reference)
{
    EXPECT_NE(SweepEnd::INVALID, run.end) << run.kind << " " << run.failedCall;
    // The WRITE BUFFER commands sent are the first ones of the untouched run, in its order.
    const std::vector<std::vector<uint8_t>> sent = WriteBufferCdbs(run.commands);
    const std::vector<std::vector<uint8_t>> all = WriteBufferCdbs(reference.commands);
    ASSERT_LE(sent.size(), all.size());
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), all.begin()));
    // Nothing at all follows a WRITE BUFFER the unit refused.
    for (size_t i = 0; i < run.commands.size(); ++i) {
        if (run.commands[i].cdb[0] == WRITE_BUFFER && run.commands[i].result.scsiStatus != 0) {
            EXPECT_EQ(run.commands.size(), i + 1);
            EXPECT_EQ(SweepEnd::WRITE_BUFFER_FAILED, run.end) << run.kind;
        }
    }
    switch (run.end) {
    case SweepEnd::UPDATED:
        // Success only for an image the unit saved before it left.
        EXPECT_EQ(all.size(), sent.size());
        EXPECT_FALSE(run.present);
        EXPECT_EQ(reference.saved, run.saved);
        break;
    case SweepEnd::STOPPED:
        EXPECT_LT(sent.size(), all.size()) << "the saving command was sent";
        EXPECT_TRUE(run.saved.empty());
        break;
    case SweepEnd::FAILED_BEFORE_DOWNLOAD:
        EXPECT_TRUE(sent.empty()) << run.kind;
        break;
    default:
        break;
    }
    EXPECT_EQ(0u, run.mutexesHeld) << run.kind << " " << run.failedCall;
    EXPECT_EQ(0u, run.handlesAfterClose) << run.kind << " " << run.failedCall;
    EXPECT_EQ(0u, run.allocationsAfterClose) << run.kind << " " << run.failedCall;
}

void ReportSweep(const std::string& sweep, unsigned runs, const std::map<std::string, unsigned>& ends)
{
    std::string line = sweep + ": " + std::to_string(runs) + " runs;";
    for (const auto& end : ends)
        line += " " + end.first + " x" + std::to_string(end.second);
    std::printf("%s\n", line.c_str());
    ::testing::Test::RecordProperty(sweep, line);
}

}  // namespace

SweepFault FailingSystemCall()
{
    return {"system calls", [](DemoScenario& scenario, unsigned n) { scenario.Machine().Faults().FailNthCall(n); },
            true};
}

SweepFault CommandAnsweredWithSense()
{
    return {"unit commands",
            [](DemoScenario& scenario, unsigned n) { scenario.Unit()->FailCommandWithSense(n, 0x04, 0x44, 0x00); }};
}

SweepFault UnitLeavingAfterCommand()
{
    return {"the unit leaving", [](DemoScenario& scenario, unsigned n) { scenario.Unit()->UnplugAfter(n); }};
}

std::vector<std::vector<uint8_t>> WriteBufferCdbs(const std::vector<SimCommand>& commands)
{
    std::vector<std::vector<uint8_t>> cdbs;
    for (const SimCommand& command : commands)
        if (command.cdb[0] == WRITE_BUFFER)
            cdbs.push_back(command.cdb);
    return cdbs;
}

void SweepUpdates(const std::string& program, const std::vector<SweepFault>& faults, const SweepProgram& run)
{
    const DemoPlatform platforms[] = {DemoPlatform::NT, DemoPlatform::WIN9X};
    const DemoTransport transports[] = {DemoTransport::PASS_THROUGH, DemoTransport::USB};
    const std::vector<SweepGeneration> generations = Generations();
    unsigned combinations = 0;
    for (DemoPlatform platform : platforms) {
        for (DemoTransport transport : transports) {
            if (!DemoCanAttach(platform, transport))
                continue;
            ++combinations;
            for (const SweepGeneration& generation : generations) {
                for (const SweepFault& fault : faults) {
                    const std::string where = program + ", " + fault.name + ", " + DemoPlatformName(platform) +
                                              ", " + DemoTransportName(platform, transport) + ", " +
                                              generation.name + " generation";
                    SCOPED_TRACE(where);
                    const std::vector<uint8_t>& image =
                        fault.systemCall ? generation.callImage : generation.commandImage;
                    std::ofstream("sweep.bin", std::ios::binary | std::ios::trunc)
                        .write(reinterpret_cast<const char*>(image.data()), std::streamsize(image.size()));

                    SweepCase untouched = {platform, transport, &generation, nullptr, 0, nullptr};
                    const SweepRun reference = RunOnce(untouched, run);
                    ASSERT_EQ(SweepEnd::UPDATED, reference.end) << reference.kind;
                    ExpectSoundEnd(reference, reference);

                    // Fault n; the sweep ends with the first run that does not reach it.
                    std::map<std::string, unsigned> ends;
                    unsigned n = 1;
                    for (;; ++n) {
                        SCOPED_TRACE("fault at " + std::to_string(n));
                        const SweepCase faulty = {platform, transport, &generation, &fault, n, &reference};
                        const SweepRun result = RunOnce(faulty, run);
                        if (!result.fired) {
                            EXPECT_EQ(SweepEnd::UPDATED, result.end) << result.kind;
                            break;
                        }
                        ExpectSoundEnd(result, reference);
                        ++ends[result.kind];
                        ASSERT_LT(n, MAX_FAULTS);
                        if (::testing::Test::HasFatalFailure())
                            return;
                    }
                    ReportSweep(where, n, ends);
                }
            }
        }
    }
    EXPECT_GE(combinations, 1u);
}
