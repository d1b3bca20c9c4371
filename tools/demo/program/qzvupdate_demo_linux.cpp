// The demo for Linux: the updater in the terminal, on an emulated machine with one simulated unit.
// The demo's options come first; the rest is the updater's own command line.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "image/command_line.h"
#include "platform/posix_standard_descriptors.h"
#include "qzv_version.h"
#include "tools/demo/demo_run.h"
#include "ui/tty/tty_ui.h"

namespace {

void Write(int fd, const std::string& text)
{
    std::string line = text + "\n";
    const char* data = line.data();
    size_t left = line.size();
    while (left > 0) {
        ssize_t done = write(fd, data, left);
        if (done <= 0)
            return;
        data += done;
        left -= static_cast<size_t>(done);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    PosixOpenClosedStandardDescriptors();
    std::vector<std::string> optionTokens;
    int first = 1;
    for (; first < argc && std::strncmp(argv[first], "--", 2) == 0; ++first) {
        if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (std::strcmp(argv[first], "--help") == 0) {
            Write(1, DEMO_USAGE);
            return 0;
        }
        if (std::strcmp(argv[first], "--version") == 0) {
            std::fputs(QZV_VERSION_TEXT("qzvupdate-demo"), stdout);
            return 0;
        }
        optionTokens.push_back(argv[first]);
    }
    DemoOptions options;
    std::string error;
    if (!DemoParseOptions(optionTokens, &options, &error)) {
        Write(2, "qzvupdate-demo: " + error + "\n" + DEMO_USAGE);
        return 2;
    }
    if (!DemoCanAttach(options.platform, options.transport)) {
        Write(2, std::string("qzvupdate-demo: this build cannot emulate ") + DemoTransportName(options.platform, options.transport) +
                     " on " + DemoPlatformName(options.platform));
        return 2;
    }
    char commandLine[IMAGE_COMMAND_LINE_SIZE];
    ImageJoinArguments(commandLine, argc - first, argv + first);

    DemoScenario scenario(options);
    TtyUi ui(AppResources());
    // The units live on the emulated machine, which sends its own notices.
    ui.IgnoreHostDevices();
    ui.NameSystemCommand("about", IDM_ABOUTBOX);
    return DemoRun(scenario, commandLine, [](const std::string& remark) { Write(1, remark); });
}
