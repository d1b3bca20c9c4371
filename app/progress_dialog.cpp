// The update run's progress dialog: the checks and the download before it shows, the activity bar
// and the wait for the unit to leave.
#include "app/progress_dialog.h"

#include "app/res/resource.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"

namespace {

const UINT_PTR ACTIVITY_TIMER = 1;
const UINT ACTIVITY_PERIOD_MS = 100;
const DWORD ACTIVITY_TICKS = 100;

}  // namespace

ProgressDialog::ProgressDialog() : Dialog(IDD_PROGRESS_DIALOG) {}

ProgressDialog::~ProgressDialog() = default;

INT_PTR ProgressDialog::ShowModal(DWORD unitIndex, BYTE* image, LONG imageSize)
{
    m_unitIndex = unitIndex;
    m_image = image;
    m_imageSize = imageSize;
    return DoModal();
}

void ProgressDialog::DoDataExchange(DataExchange* pDX)
{
    Dialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_PROGRESS_BAR, m_progress);
}

BOOL ProgressDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    if (Menu* systemMenu = GetSystemMenu(FALSE))
        systemMenu->DeleteMenu(SC_CLOSE, MF_BYCOMMAND);

    // Everything up to the end of the download happens here, before the dialog is shown.
    BYTE inquiry[UNIT_INQUIRY_LENGTH];
    DWORD count = 0;
    ProgressResult failure = PROGRESS_NO_UNIT;
    if (!UpdateCheckUnit(m_unitIndex, UNIT_ONLY_ONE, inquiry, &count, &failure, &m_status)) {
        EndDialog(failure);
        return TRUE;
    }
    m_status = UpdateDownloadImage(m_unitIndex, m_image, &m_imageSize);
    if (m_status != 0) {
        EndDialog(PROGRESS_DOWNLOAD_FAILED);
        return TRUE;
    }

    m_progress.SetRange32(0, static_cast<int>(ACTIVITY_TICKS));
    m_progress.SetPos(0);
    m_tick = 0;
    m_timerId = SetTimer(ACTIVITY_TIMER, ACTIVITY_PERIOD_MS);
    return TRUE;
}

LRESULT ProgressDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_TIMER: OnTimer(wParam); return 0;
    case WM_DEVICECHANGE: return OnDeviceChange(static_cast<UINT>(wParam), static_cast<DWORD_PTR>(lParam));
    }
    return Dialog::OnMessage(message, wParam, lParam);
}

// The bar shows activity, not progress: 1, 2, ..., 100, 0, 1, ...
void ProgressDialog::OnTimer(UINT_PTR)
{
    if (++m_tick > ACTIVITY_TICKS)
        m_tick = 0;
    m_progress.SetPos(static_cast<int>(m_tick));
    Default();
}

BOOL ProgressDialog::OnDeviceChange(UINT nEventType, DWORD_PTR)
{
    if (nEventType != DBT_DEVNODES_CHANGED && nEventType != DBT_DEVICEREMOVECOMPLETE)
        return FALSE;
    // A unit that is restarting does not answer, and counts as gone.
    if (UnitCount() == 0) {
        KillTimer(m_timerId);
        EndDialog(PROGRESS_UNIT_LEFT);
    }
    return FALSE;
}
