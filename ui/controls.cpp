// Controls forward to the open window of their dialog.
#include "ui/controls.h"

#include "ui/dialog.h"

void DDX_Control(DataExchange* pDX, int nIDC, Control& control)
{
    control.m_dialog = pDX->m_pDlgWnd;
    control.m_id = nIDC;
}

void Control::SetWindowText(const std::string& text)
{
    if (DialogWindow* window = m_dialog ? m_dialog->Handle() : nullptr)
        window->SetItemText(m_id, text);
}

std::string Control::GetWindowText() const
{
    DialogWindow* window = m_dialog ? m_dialog->Handle() : nullptr;
    return window ? window->GetItemText(m_id) : std::string();
}

BOOL Control::EnableWindow(BOOL enable)
{
    DialogWindow* window = m_dialog ? m_dialog->Handle() : nullptr;
    return window ? window->EnableItem(m_id, enable) : FALSE;
}

BOOL Control::IsWindowEnabled() const
{
    DialogWindow* window = m_dialog ? m_dialog->Handle() : nullptr;
    return window ? window->IsItemEnabled(m_id) : FALSE;
}

void Control::SetFocus()
{
    if (DialogWindow* window = m_dialog ? m_dialog->Handle() : nullptr)
        window->SetFocusItem(m_id);
}

LRESULT Control::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    DialogWindow* window = m_dialog ? m_dialog->Handle() : nullptr;
    return window ? window->SendItemMessage(m_id, message, wParam, lParam) : 0;
}

void ProgressCtrl::SetRange32(int lower, int upper)
{
    SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), static_cast<LPARAM>(upper));
}

int ProgressCtrl::SetPos(int position)
{
    return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(position), 0));
}

int ProgressCtrl::GetPos()
{
    return static_cast<int>(SendMessage(PBM_GETPOS, 0, 0));
}
