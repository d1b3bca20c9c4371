// The application class: the program's entry installs a backend and calls UiRunApplication, which
// gives the application its command line and runs InitInstance. The program ends when InitInstance
// returns; ExitInstance gives its exit status.
#pragma once

#include "platform/win32_window_types.h"

class Dialog;

class WinApp {
public:
    WinApp();
    virtual ~WinApp();
    WinApp(const WinApp&) = delete;
    WinApp& operator=(const WinApp&) = delete;

    // FALSE: the program ends without a message loop of the application's own.
    virtual BOOL InitInstance();
    // The program's exit status, once InitInstance has returned.
    virtual int ExitInstance();

    // The process-wide three-dimensional control look.
    void Enable3dControlsStatic();

    Dialog* m_pMainWnd = nullptr;
    // The command line after the program's name, in the ANSI code page; never null.
    const char* m_lpCmdLine = "";
};

// The application object most recently constructed and still alive, or null.
WinApp* UiGetApp(void);

// Gives the application its command line, runs InitInstance and returns ExitInstance's status.
int UiRunApplication(WinApp& app, const char* commandLine);
