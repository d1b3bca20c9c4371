// Painting in a WM_PAINT handler: BeginPaint on construction, EndPaint on destruction.
#pragma once

#include "platform/win32_window_types.h"

class Dialog;
class DialogWindow;

class PaintDC {
public:
    explicit PaintDC(Dialog& dialog);
    ~PaintDC();
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;

    HDC GetSafeHdc() const { return m_hDC; }
    BOOL DrawIcon(int x, int y, HICON icon);

private:
    DialogWindow* m_window;
    HDC m_hDC;
};
