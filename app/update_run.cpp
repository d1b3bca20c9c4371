// The update run as the main dialog starts it: the progress dialog, and its result shown as text.
#include "app/progress_dialog.h"
#include "app/updater_dialog.h"

void UpdaterDialog::OnStart()
{
    // Some systems deliver a click on a disabled button; it is no request to start.
    if (!m_startButton.IsWindowEnabled())
        return;
    m_quitButton.EnableWindow(FALSE);
    m_startButton.EnableWindow(FALSE);

    ProgressDialog progress;
    INT_PTR code = progress.ShowModal(m_unitIndex, m_image, m_imageSize);
    ShowUpdateResult(code, progress.Status(), *this);

    // One update per run: only Quit is left.
    m_quitButton.EnableWindow(TRUE);
    m_quitButton.SetFocus();
    PostMessage(WM_UPDATER_STEP, STEP_DONE, 0);
}
