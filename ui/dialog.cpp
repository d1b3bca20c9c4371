// The dialog base class: message dispatch and the window operations, forwarded to the backend.
#include "ui/dialog.h"

#include "ui/controls.h"

Dialog::Dialog(UINT templateId) : m_templateId(templateId) {}

Dialog::~Dialog() = default;

INT_PTR Dialog::DoModal()
{
    UiBackend* backend = UiBackendInForce();
    if (!backend || m_window)
        return -1;
    return backend->RunModal(*this);
}

void Dialog::EndDialog(INT_PTR result)
{
    if (m_window)
        m_window->EndDialog(result);
}

BOOL Dialog::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_window ? m_window->PostMessage(message, wParam, lParam) : FALSE;
}

LRESULT Dialog::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return m_window ? m_window->SendMessage(message, wParam, lParam) : 0;
}

UINT_PTR Dialog::SetTimer(UINT_PTR id, UINT elapse)
{
    return m_window ? m_window->SetTimer(id, elapse) : 0;
}

BOOL Dialog::KillTimer(UINT_PTR id)
{
    return m_window ? m_window->KillTimer(id) : FALSE;
}

Menu* Dialog::GetSystemMenu(BOOL revert)
{
    return m_window ? m_window->GetSystemMenu(revert) : nullptr;
}

BOOL Dialog::IsIconic() const
{
    return m_window ? m_window->IsIconic() : FALSE;
}

void Dialog::GetClientRect(RECT* rect) const
{
    *rect = RECT{0, 0, 0, 0};
    if (m_window)
        m_window->GetClientRect(rect);
}

LRESULT Dialog::Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool* passToDefault)
{
    // Handlers may send messages to their own dialog; each dispatch keeps its own answer.
    bool outer = m_passToDefault;
    m_passToDefault = false;
    LRESULT result = OnMessage(message, wParam, lParam);
    *passToDefault = m_passToDefault;
    m_passToDefault = outer;
    return result;
}

void Dialog::DoDataExchange(DataExchange*) {}

BOOL Dialog::OnInitDialog()
{
    DataExchange exchange(this);
    DoDataExchange(&exchange);
    return TRUE;
}

void Dialog::OnOK()
{
    EndDialog(IDOK);
}

void Dialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

LRESULT Dialog::OnMessage(UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog();
    case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDOK) {
            OnOK();
            return 0;
        }
        if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDCANCEL) {
            OnCancel();
            return 0;
        }
        break;
    }
    Default();
    return 0;
}

void Dialog::Default()
{
    m_passToDefault = true;
}
