// Driving a dialog of another process from outside (Win32 only, header-only): finding it, reading
// its controls, pressing its buttons, sending it system commands and device-change notices, and
// taking a picture of it. Used by the uidriver program and by the dialog tests. On Windows the
// driving process must run elevated to reach a program that requires administrator rights.
#pragma once

#include <windows.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace ui_automation {

// Polls `done` every 20 ms until it holds or `timeoutMs` passed (checked once more at the end).
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    const ULONGLONG end = GetTickCount64() + timeoutMs;
    while (GetTickCount64() < end) {
        if (done())
            return true;
        Sleep(20);
    }
    return done();
}

struct FindWindowContext {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

// A named CALLBACK: on i686 WNDENUMPROC is __stdcall, which a lambda does not convert to.
inline BOOL CALLBACK FindDialogCallback(HWND window, LPARAM context)
{
    auto* find = reinterpret_cast<FindWindowContext*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if ((find->processId && owner != find->processId) || !IsWindowVisible(window))
        return TRUE;
    wchar_t text[256] = L"";
    if (!GetClassNameW(window, text, 256) || wcscmp(text, L"#32770") != 0)
        return TRUE;
    text[0] = L'\0';
    GetWindowTextW(window, text, 256);  // another process's window: the stored caption, never blocks
    if (find->caption && wcscmp(text, find->caption) != 0)
        return TRUE;
    find->found = window;
    return FALSE;
}

// A visible dialog with this caption (null: any) of process `processId` (0: any process).
inline HWND FindDialog(DWORD processId, const wchar_t* caption)
{
    FindWindowContext find{processId, caption, nullptr};
    EnumWindows(FindDialogCallback, reinterpret_cast<LPARAM>(&find));
    return find.found;
}

// Waits until the dialog exists, is visible and its thread answers (WM_INITDIALOG is over and its
// modal loop runs).
inline HWND WaitForDialog(DWORD processId, const wchar_t* caption, DWORD timeoutMs)
{
    HWND found = nullptr;
    WaitUntil(
        [&] {
            found = FindDialog(processId, caption);
            DWORD_PTR answer = 0;
            return found && SendMessageTimeoutW(found, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 500, &answer);
        },
        timeoutMs);
    return found && IsWindow(found) ? found : nullptr;
}

// Returns once the dialog's thread has handled everything posted to it before.
inline bool Settle(HWND dialog)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
}

inline std::wstring Text(HWND dialog, int id)
{
    wchar_t text[2048] = L"";
    GetDlgItemTextW(dialog, id, text, 2048);
    return text;
}

inline bool IsEnabled(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item && IsWindowEnabled(item);
}

// Posted, never sent: a click that opens a modal dialog would block a sent message.
inline bool Click(HWND dialog, int id)
{
    HWND item = GetDlgItem(dialog, id);
    return item && PostMessageW(item, BM_CLICK, 0, 0);
}

inline bool SystemCommand(HWND dialog, WPARAM command)
{
    return PostMessageW(dialog, WM_SYSCOMMAND, command, 0) != 0;
}

inline bool SendDeviceChange(HWND window, WPARAM event)
{
    DWORD_PTR answer = 0;
    return SendMessageTimeoutW(window, WM_DEVICECHANGE, event, 0, SMTO_ABORTIFHUNG, 5000, &answer) != 0;
}

inline std::string Utf8(const std::wstring& text)
{
    if (text.empty())
        return std::string();
    int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &utf8[0], length, nullptr, nullptr);
    return utf8;
}

inline std::wstring Wide(const std::string& utf8)
{
    if (utf8.empty())
        return std::wstring();
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &wide[0], length);
    return wide;
}

// Copies the window's rectangle of the screen into a 24-bit BMP file. False when nothing was drawn.
inline bool SaveScreenshot(HWND window, const std::wstring& path)
{
    RECT rect;
    if (!GetWindowRect(window, &rect))
        return false;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    Settle(window);
    Sleep(300);
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);

    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    const DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
    std::vector<BYTE> pixels(stride * static_cast<DWORD>(height));
    int rows = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                         reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    if (rows != height)
        return false;

    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof header;
    file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return false;
    bool written = fwrite(&file, sizeof file, 1, out) == 1 && fwrite(&header, sizeof header, 1, out) == 1 &&
                   fwrite(pixels.data(), 1, pixels.size(), out) == pixels.size();
    return fclose(out) == 0 && written;
}

// The path of `name` in the folder of this program.
inline std::wstring NextToThisProgram(const wchar_t* name)
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring self = path;
    return self.substr(0, self.find_last_of(L"\\/") + 1) + name;
}

// Starts the program `name` of this program's folder with `arguments` and waits until it is idle.
inline bool StartProgram(const wchar_t* name, const std::wstring& arguments, PROCESS_INFORMATION* process)
{
    std::wstring program = NextToThisProgram(name);
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!CreateProcessW(program.c_str(), &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        process))
        return false;
    WaitForInputIdle(process->hProcess, 10000);
    return true;
}

// Ends a started program that still runs and closes its handles.
inline void StopProgram(PROCESS_INFORMATION* process)
{
    if (!process->hProcess)
        return;
    if (WaitForSingleObject(process->hProcess, 0) == WAIT_TIMEOUT)
        TerminateProcess(process->hProcess, 99);
    CloseHandle(process->hThread);
    CloseHandle(process->hProcess);
    *process = PROCESS_INFORMATION{};
}

}  // namespace ui_automation
