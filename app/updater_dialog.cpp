// The main dialog's set-up, message map and window chores (system menu, icon painting).
#include "app/updater_dialog.h"

#include <cstring>

#include "app/about_dialog.h"
#include "app/res/resource.h"
#include "ui/paint_dc.h"

UpdaterDialog::UpdaterDialog() : Dialog(IDD_UPDATER_DIALOG), m_hIcon(UiLoadIcon(IDR_MAINFRAME)), m_unitIndex(0), m_imageSize(0)
{
    std::memset(&m_versionStrings, 0, sizeof m_versionStrings);
    std::memset(m_commandLine, 0, sizeof m_commandLine);
    std::memset(&m_options, 0, sizeof m_options);
}

UpdaterDialog::~UpdaterDialog() = default;

bool UpdaterDialog::LastTextWasSuccess() const
{
    // A finished conversion is the end of a run only in convert-only mode; otherwise the probe goes
    // on and may stop without a text of its own.
    return m_lastShownText == IDS_READY || m_lastShownText == IDS_UPDATE_FINISHED ||
           (m_lastShownText == IDS_CONVERSION_FINISHED && m_options.switchC == 1);
}

void UpdaterDialog::DoDataExchange(DataExchange* pDX)
{
    Dialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDOK, m_quitButton);
    DDX_Control(pDX, IDC_START_BUTTON, m_startButton);
    DDX_Control(pDX, IDC_MESSAGE_TEXT, m_messageText);
}

BOOL UpdaterDialog::OnInitDialog()
{
    Dialog::OnInitDialog();

    if (Menu* systemMenu = GetSystemMenu(FALSE)) {
        std::string about = UiLoadString(IDS_ABOUTBOX);
        if (!about.empty()) {
            systemMenu->AppendMenu(MF_SEPARATOR);
            systemMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about.c_str());
        }
    }
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    if (Menu* systemMenu = GetSystemMenu(FALSE))
        systemMenu->DeleteMenu(SC_CLOSE, MF_BYCOMMAND);

    m_quitButton.EnableWindow(TRUE);
    m_startButton.EnableWindow(FALSE);
    m_unitIndex = 0;
    // Posted, so that the dialog appears with its waiting text before any work begins.
    PostMessage(WM_UPDATER_STEP, STEP_INIT, 0);
    return TRUE;
}

// Esc and close requests do nothing: only Quit ends the dialog.
void UpdaterDialog::OnCancel() {}

LRESULT UpdaterDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND: OnSysCommand(static_cast<UINT>(wParam), lParam); return 0;
    case WM_PAINT: OnPaint(); return 0;
    case WM_QUERYDRAGICON: return reinterpret_cast<LRESULT>(OnQueryDragIcon());
    case WM_DESTROY: OnDestroy(); return 0;
    case WM_UPDATER_STEP: return OnStep(wParam, lParam);
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_START_BUTTON) {
            OnStart();
            return 0;
        }
        break;
    }
    return Dialog::OnMessage(message, wParam, lParam);
}

void UpdaterDialog::OnSysCommand(UINT nID, LPARAM)
{
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        AboutDialog about;
        about.ShowModal(&m_versionStrings);
        return;
    }
    Default();
}

void UpdaterDialog::OnPaint()
{
    if (!IsIconic()) {
        Default();
        return;
    }
    PaintDC dc(*this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = UiGetSystemMetrics(SM_CXICON);
    int cyIcon = UiGetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HICON UpdaterDialog::OnQueryDragIcon()
{
    return m_hIcon;
}

void UpdaterDialog::OnDestroy()
{
    Default();
}

LRESULT UpdaterDialog::OnStep(WPARAM wParam, LPARAM)
{
    switch (wParam) {
    case STEP_INIT: InitStep(); break;
    case STEP_PROBE: ProbeStep(); break;
    }
    return 0;
}

void UpdaterDialog::Show(const std::string& text, UINT id)
{
    m_messageText.SetWindowText(text);
    m_lastShownText = id;
}
