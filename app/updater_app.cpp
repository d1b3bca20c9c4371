// The application's start: the main dialog, run modally as a local.
#include "app/updater_app.h"

#include "app/updater_dialog.h"

BOOL UpdaterApp::InitInstance()
{
    Enable3dControlsStatic();
    UpdaterDialog dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();
    m_exitStatus = dialog.LastTextWasSuccess() ? 0 : 1;
    m_pMainWnd = nullptr;
    return FALSE;
}

int UpdaterApp::ExitInstance()
{
    return m_exitStatus;
}
