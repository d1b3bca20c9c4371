// Painting through the dialog's open window.
#include "ui/paint_dc.h"

#include "ui/dialog.h"

PaintDC::PaintDC(Dialog& dialog) : m_window(dialog.Handle()), m_hDC(m_window ? m_window->BeginPaint() : nullptr) {}

PaintDC::~PaintDC()
{
    if (m_window)
        m_window->EndPaint(m_hDC);
}

BOOL PaintDC::DrawIcon(int x, int y, HICON icon)
{
    return m_window ? m_window->DrawIcon(m_hDC, x, y, icon) : FALSE;
}
