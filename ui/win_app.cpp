// The application object and its run.
#include "ui/win_app.h"

#include "ui/backend.h"

namespace {

WinApp* s_app = nullptr;

}  // namespace

WinApp::WinApp()
{
    s_app = this;
}

WinApp::~WinApp()
{
    if (s_app == this)
        s_app = nullptr;
}

BOOL WinApp::InitInstance()
{
    return FALSE;
}

int WinApp::ExitInstance()
{
    return 0;
}

void WinApp::Enable3dControlsStatic()
{
    if (UiBackend* backend = UiBackendInForce())
        backend->EnableControlLook();
}

WinApp* UiGetApp(void)
{
    return s_app;
}

int UiRunApplication(WinApp& app, const char* commandLine)
{
    app.m_lpCmdLine = commandLine ? commandLine : "";
    app.InitInstance();
    app.m_pMainWnd = nullptr;
    return app.ExitInstance();
}
