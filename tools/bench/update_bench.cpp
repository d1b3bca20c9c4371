// The update from Start to 4012 on the demo's emulated machine with a 0x30000-byte new-layout image:
// the CPU time it takes, the unit's own share of it, and the commands the unit received. The unit's
// share is measured by replaying the same commands on a fresh simulated unit; what is left is the
// program's own time (dialogs, enumeration, CRC, transport, emulated system calls).
//
//   update_bench [runs]          prints the figures (median over the runs, 21 by default)
//   update_bench --image FILE    writes the image it uses, for measuring the programs themselves
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/updater_app.h"
#include "sim/unit/sample_image.h"
#include "tools/demo/demo_scenario.h"
#include "ui/headless/headless_ui.h"
#include "unit/unit_table.h"

namespace {

const uint32_t IMAGE_LENGTH = 0x30000;
const char* const IMAGE_PATH = "update-bench.bin";

double CpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

bool WriteImage(const char* path)
{
    std::vector<uint8_t> image = SampleNewImage({"2.10", "2.11", "2.12", "2.13"}, IMAGE_LENGTH);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    return out.good();
}

struct Measured {
    double startToFinishedMs = 0;
    std::vector<SimCommand> commands;  // from Start on
    bool finished = false;
};

Measured MeasureUpdate()
{
    DemoOptions options;
    options.restartMs = 0;
    DemoScenario scenario(options);
    Measured measured;
    size_t before = 0;
    double start = 0;
    {
        HeadlessUi ui(AppResources());
        ui.WhenIdle([&](HeadlessUi& u) {
            before = scenario.Unit()->Commands().size();
            start = CpuMs();
            u.Click(IDC_START_BUTTON);
        });
        ui.WhenIdle([&](HeadlessUi& u) {
            measured.startToFinishedMs = CpuMs() - start;
            measured.finished = u.Text(IDC_MESSAGE_TEXT).find("ファームウェアの更新が終了しました。") == 0;
            u.Click(IDOK);
        });
        UpdaterApp app;
        UiRunApplication(app, IMAGE_PATH);
    }
    const std::vector<SimCommand>& all = scenario.Unit()->Commands();
    measured.commands.assign(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    return measured;
}

// The same commands on a fresh unit in the state the update found it in.
double ReplayMs(const std::vector<SimCommand>& commands)
{
    SimUnit unit;
    std::vector<std::vector<uint8_t>> buffers;
    for (const SimCommand& command : commands)
        buffers.push_back(command.direction == SimDirection::Out ? command.dataOut
                                                                 : std::vector<uint8_t>(command.length));
    double start = CpuMs();
    for (size_t i = 0; i < commands.size(); ++i) {
        const SimCommand& command = commands[i];
        unit.Execute(command.cdb.data(), command.cdb.size(), command.direction, buffers[i].data(), command.length);
    }
    return CpuMs() - start;
}

std::string Name(const SimCommand& command)
{
    switch (command.cdb[0]) {
    case 0x12: return "INQUIRY";
    case 0x13: return "configuration";
    case 0x3B: return command.cdb[1] == 0x05 ? "WRITE BUFFER (save)" : "WRITE BUFFER";
    }
    char text[16];
    std::snprintf(text, sizeof text, "opcode %02X", command.cdb[0]);
    return text;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--image") == 0)
        return WriteImage(argv[2]) ? 0 : 1;
    int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    if (runs < 1 || !WriteImage(IMAGE_PATH))
        return 2;

    std::vector<double> totals, unitShares, own;
    Measured last;
    for (int run = 0; run < runs; ++run) {
        last = MeasureUpdate();
        if (!last.finished) {
            std::fprintf(stderr, "update_bench: the update did not end with 4012\n");
            return 1;
        }
        double unitMs = ReplayMs(last.commands);
        totals.push_back(last.startToFinishedMs);
        unitShares.push_back(unitMs);
        own.push_back(last.startToFinishedMs - unitMs);
    }
    std::remove(IMAGE_PATH);

    std::map<std::string, unsigned> kinds;
    for (const SimCommand& command : last.commands)
        ++kinds[Name(command)];
    std::printf("image: new layout, 0x%X bytes; %d runs, medians\n", IMAGE_LENGTH, runs);
    std::printf("cpu ms, Start to 4012:             %8.3f\n", Median(totals));
    std::printf("cpu ms, the simulated unit's work: %8.3f\n", Median(unitShares));
    std::printf("cpu ms, the program's own:         %8.3f\n", Median(own));
    std::printf("unit commands, Start to 4012:      %8zu\n", last.commands.size());
    for (const auto& kind : kinds)
        std::printf("  %-22s %u\n", kind.first.c_str(), kind.second);
    return 0;
}
