// The update run as the main dialog starts it: the progress dialog, and its result shown as text.
#include "app/message_format.h"
#include "app/progress_dialog.h"
#include "app/res/resource.h"
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
    switch (code) {
    case PROGRESS_UNIT_LEFT: ShowPreloaded(IDS_UPDATE_FINISHED); break;
    case PROGRESS_NO_UNIT: ShowPreloaded(IDS_NO_UNIT); break;
    case PROGRESS_SEVERAL_UNITS: ShowPreloaded(IDS_SEVERAL_UNITS); break;
    case PROGRESS_INQUIRY_FAILED:
        Show(FormatMessageText(Preloaded(IDS_INQUIRY_FAILED), {MessageArgument::Number(progress.Status())}),
             IDS_INQUIRY_FAILED);
        break;
    case PROGRESS_DOWNLOAD_FAILED:
        Show(FormatMessageText(Preloaded(IDS_WRITE_BUFFER_FAILED), {MessageArgument::Number(progress.Status())}),
             IDS_WRITE_BUFFER_FAILED);
        break;
    default: ShowPreloaded(IDS_UPDATE_FAILED); break;
    }

    // One update per run: only Quit is left.
    m_quitButton.EnableWindow(TRUE);
    m_quitButton.SetFocus();
    PostMessage(WM_UPDATER_STEP, STEP_DONE, 0);
}
