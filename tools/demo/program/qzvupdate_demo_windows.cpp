// The demo for Windows: the updater's dialogs on an emulated machine with one simulated unit. The
// demo's options come first; the rest is the updater's own command line.
#include <windows.h>

#include <string>
#include <vector>

#include "qzv_version.h"
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
bool WriteOutput(const std::string& bytes)
{
    HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    if (output == nullptr || output == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    return WriteFile(output, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != 0;
}

void Remark(const std::string& text)
{
    WriteOutput(text + "\r\n");
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
        // To the standard output when the starter gave one (a script reads it), else in a box.
        if (option == "--version") {
            if (!WriteOutput(QZV_VERSION_TEXT("qzvupdate-demo")))
                MessageBoxW(nullptr, WideFromUtf8(QZV_VERSION_TEXT("qzvupdate-demo")).c_str(), L"qzvupdate-demo", MB_OK);
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
