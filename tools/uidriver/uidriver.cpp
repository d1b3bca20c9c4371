// Drives a dialog of another program from the command line, for scripts and for looking at a run
// by hand. The caption is given in UTF-8 (with a UTF-8 locale).
//
//   uidriver wait <caption> [ms]          prints "x y w h" once the dialog is up; 1 on timeout
//   uidriver text <caption> <id>          prints the control's text
//   uidriver enabled <caption> <id>       prints 1 or 0
//   uidriver click <caption> <id>         presses the button
//   uidriver syscommand <caption> <id>    posts WM_SYSCOMMAND with that command
//   uidriver devchange <caption>|* [ev]   sends WM_DEVICECHANGE (7 by default; * = broadcast)
//   uidriver close <caption>              posts WM_CLOSE
//   uidriver screenshot <caption> <file>  saves the dialog as a BMP file
//   uidriver list                         every dialog: window, process, caption
#include <windows.h>

#include <cwchar>
#include <string>

#include "ui_automation.h"

namespace {

void Print(const std::wstring& text)
{
    std::string line = ui_automation::Utf8(text) + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

BOOL CALLBACK ListDialog(HWND window, LPARAM)
{
    wchar_t kind[64] = L"", caption[256] = L"";
    GetClassNameW(window, kind, 64);
    if (wcscmp(kind, L"#32770") != 0)
        return TRUE;
    GetWindowTextW(window, caption, 256);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    Print(std::to_wstring(reinterpret_cast<ULONG_PTR>(window)) + L" " + std::to_wstring(process) +
          (IsWindowVisible(window) ? L" visible \"" : L" hidden \"") + caption + L"\"");
    return TRUE;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    using namespace ui_automation;
    if (argc >= 2 && wcscmp(argv[1], L"list") == 0) {
        EnumWindows(ListDialog, 0);
        return 0;
    }
    if (argc < 3) {
        Print(L"usage: uidriver wait|text|enabled|click|syscommand|devchange|close|screenshot|list <caption> [arg]");
        return 2;
    }
    std::wstring command = argv[1], caption = argv[2];
    WPARAM eventOrId = argc > 3 ? static_cast<WPARAM>(wcstoul(argv[3], nullptr, 0)) : 0;
    if (command == L"devchange" && caption == L"*")
        return SendDeviceChange(HWND_BROADCAST, argc > 3 ? eventOrId : 7) ? 0 : 1;

    DWORD timeout = command == L"wait" && argc > 3 ? static_cast<DWORD>(eventOrId) : 10000;
    HWND dialog = WaitForDialog(0, caption.c_str(), timeout);
    if (!dialog) {
        Print(L"dialog not found: " + caption);
        return 1;
    }
    int id = static_cast<int>(eventOrId);
    if (command == L"wait") {
        RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        RECT rect;
        GetWindowRect(dialog, &rect);
        Print(std::to_wstring(rect.left) + L" " + std::to_wstring(rect.top) + L" " +
              std::to_wstring(rect.right - rect.left) + L" " + std::to_wstring(rect.bottom - rect.top));
        return 0;
    }
    if (command == L"text") {
        Print(Text(dialog, id));
        return 0;
    }
    if (command == L"enabled") {
        Print(IsEnabled(dialog, id) ? L"1" : L"0");
        return 0;
    }
    if (command == L"click")
        return Click(dialog, id) ? 0 : 1;
    if (command == L"syscommand")
        return SystemCommand(dialog, eventOrId) ? 0 : 1;
    if (command == L"devchange")
        return SendDeviceChange(dialog, argc > 3 ? eventOrId : 7) ? 0 : 1;
    if (command == L"close")
        return PostMessageW(dialog, WM_CLOSE, 0, 0) ? 0 : 1;
    if (command == L"screenshot" && argc > 3)
        return SaveScreenshot(dialog, argv[3]) ? 0 : 1;
    Print(L"unknown command: " + command);
    return 2;
}
