// The demo for Windows: the updater's dialogs on an emulated machine with one simulated unit. The
// demo's options come first; the rest is the updater's own command line.
#include <windows.h>

#include <string>
#include <vector>

#include "tools/demo/demo_run.h"
#include "ui/win32/win32_ui.h"
#include "ui/win32/wide_text.h"

namespace {

void Complain(const std::string& text)
{
    MessageBoxW(nullptr, WideFromUtf8(text).c_str(), L"qzvupdate-demo", MB_OK | MB_ICONERROR);
}

// A windowed program has a standard output only when its starter handed one over (a console, a
// redirection, Wine's own); otherwise the dialogs tell the story alone.
void Remark(const std::string& text)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return;
    std::string line = text + "\r\n";
    DWORD written = 0;
    WriteFile(output, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    std::vector<std::string> optionTokens;
    const char* commandLine = DemoSplitOptions(Win32CommandLineTail(), &optionTokens);
    DemoOptions options;
    std::string error;
    for (const std::string& option : optionTokens) {
        if (option == "--help") {
            MessageBoxW(nullptr, WideFromUtf8(DEMO_USAGE).c_str(), L"qzvupdate-demo", MB_OK);
            return 0;
        }
    }
    if (!DemoParseOptions(optionTokens, &options, &error)) {
        Complain(error + "\n\n" + DEMO_USAGE);
        return 2;
    }
    if (!DemoCanAttach(options.platform, options.transport)) {
        Complain(std::string("This build cannot emulate ") + DemoTransportName(options.platform, options.transport) +
                 " on " + DemoPlatformName(options.platform) + ".");
        return 2;
    }
    DemoScenario scenario(options);
    Win32Ui ui(instance);
    return DemoRun(scenario, commandLine, Remark);
}
