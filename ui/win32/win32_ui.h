// The Win32 backend: real modal dialogs built from the program's dialog templates with the Unicode
// APIs. One dialog procedure serves every dialog: it keeps the dialog's window object in the window
// and passes each message to Dialog::Dispatch; a message the dialog passes on goes to the system's
// dialog handling. Timers, posted messages and the WM_DEVICECHANGE broadcasts of the system arrive
// through the system's modal loop.
#pragma once

#include <map>
#include <vector>

#include "ui/backend.h"

class Win32Ui : public UiBackend {
public:
    // Resources come from `instance`. Installs itself; the destructor uninstalls.
    explicit Win32Ui(HINSTANCE instance);
    ~Win32Ui() override;

    INT_PTR RunModal(Dialog& dialog) override;
    std::string LoadString(UINT id) override;
    HICON LoadIcon(UINT id) override;
    int GetSystemMetrics(int index) override;
    void EnableControlLook() override;
    void PostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam) override;
    // A thread timer, which the modal loops of the dialogs dispatch like any other message.
    void PostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static VOID CALLBACK LaterTimerProc(HWND hwnd, UINT message, UINT_PTR id, DWORD time);

    HINSTANCE m_instance;
    // Open dialogs, bottom first.
    std::vector<HWND> m_open;
    struct LaterBroadcast {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    // Broadcasts waiting for their thread timer, by timer id.
    std::map<UINT_PTR, LaterBroadcast> m_later;
};

// The command line after the program's name (quoted or not) and the blanks after it, in the ANSI
// code page, as a program's WinMain receives it.
const char* Win32CommandLineTail(void);
