// The dialog class of the framework. A dialog of the program derives from Dialog, names its template,
// binds its controls in DoDataExchange with DDX_Control, and lists the messages it handles in its
// OnMessage: a switch with one line per message that calls the handler named after it and passes
// everything else on to the base class. A handler that wants the framework's default handling of its
// message calls Default().
//
//     class MyDialog : public Dialog {
//     public:
//         MyDialog() : Dialog(IDD_MY) {}
//     protected:
//         void DoDataExchange(DataExchange* pDX) override { DDX_Control(pDX, 1002, m_text); }
//         LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override
//         {
//             switch (message) {
//             case WM_TIMER: OnTimer(wParam); return 0;
//             }
//             return Dialog::OnMessage(message, wParam, lParam);
//         }
//     };
//
// The backend in force creates the window in DoModal; until then, and after it has closed, every
// window operation does nothing.
#pragma once

#include "platform/win32_window_types.h"
#include "ui/backend.h"

class Dialog;

// Passed to DoDataExchange; it names the dialog whose controls are bound.
class DataExchange {
public:
    explicit DataExchange(Dialog* dialog) : m_pDlgWnd(dialog) {}
    Dialog* m_pDlgWnd;
};

class Dialog {
public:
    explicit Dialog(UINT templateId);
    virtual ~Dialog();
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Runs the dialog modally; the value given to EndDialog, or -1 when it could not be shown.
    INT_PTR DoModal();
    void EndDialog(INT_PTR result);

    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse);
    BOOL KillTimer(UINT_PTR id);
    Menu* GetSystemMenu(BOOL revert);
    BOOL IsIconic() const;
    void GetClientRect(RECT* rect) const;

    UINT TemplateId() const { return m_templateId; }
    // The open window, or null.
    DialogWindow* Handle() const { return m_window; }

    // For backends: the window is attached before WM_INITDIALOG and detached after WM_DESTROY.
    void AttachWindow(DialogWindow* window) { m_window = window; }
    void DetachWindow() { m_window = nullptr; }
    // Runs one message through the dialog's message map. *passToDefault is set when the message
    // wants the backend's default handling.
    LRESULT Dispatch(UINT message, WPARAM wParam, LPARAM lParam, bool* passToDefault);

protected:
    virtual void DoDataExchange(DataExchange* pDX);
    // Binds the controls (DoDataExchange). TRUE lets the framework focus the first enabled control
    // with WS_TABSTOP.
    virtual BOOL OnInitDialog();
    // IDOK and IDCANCEL (Esc, close requests): both end the dialog unless overridden.
    virtual void OnOK();
    virtual void OnCancel();
    // The message map. The base handles WM_INITDIALOG and the IDOK/IDCANCEL commands, and passes
    // everything else to the default handling.
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // Asks for the default handling of the message being handled.
    void Default();

private:
    UINT m_templateId;
    DialogWindow* m_window = nullptr;
    bool m_passToDefault = false;
};
