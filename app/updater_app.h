// The application: it runs the main dialog modally and ends when the dialog ends.
#pragma once

#include "ui/win_app.h"

class UpdaterApp : public WinApp {
public:
    BOOL InitInstance() override;
    // 0 when the last text of the main dialog reported success, else 1 (scripts run the Linux
    // program; the Windows program has no exit code of interest and gives the same).
    int ExitInstance() override;

private:
    int m_exitStatus = 1;
};
