// The controls of a dialog, bound to its template's items by DDX_Control in DoDataExchange. A control
// that is not bound, or whose dialog is not open, does nothing.
#pragma once

#include <string>

#include "platform/win32_window_types.h"

class Dialog;
class DataExchange;

class Control {
public:
    void SetWindowText(const std::string& text);
    std::string GetWindowText() const;
    // TRUE when the control was disabled before.
    BOOL EnableWindow(BOOL enable = TRUE);
    BOOL IsWindowEnabled() const;
    void SetFocus();
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    int GetDlgCtrlID() const { return m_id; }

private:
    friend void DDX_Control(DataExchange* pDX, int nIDC, Control& control);
    Dialog* m_dialog = nullptr;
    int m_id = 0;
};

void DDX_Control(DataExchange* pDX, int nIDC, Control& control);

class Static : public Control {};

class Button : public Control {};

class ProgressCtrl : public Control {
public:
    void SetRange32(int lower, int upper);
    // The previous position.
    int SetPos(int position);
    int GetPos();
};
