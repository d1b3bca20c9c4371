// The Win32 backend: the dialog procedure and the window operations on real dialogs.
#include "ui/win32/win32_ui.h"

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "ui/dialog.h"
#include "ui/win32/wide_text.h"

namespace {

class Win32Menu : public Menu {
public:
    HMENU m_handle = nullptr;

    BOOL AppendMenu(UINT flags, UINT_PTR id, const char* text) override
    {
        std::wstring wide = text ? WideFromUtf8(text) : std::wstring();
        return ::AppendMenuW(m_handle, flags, id, text ? wide.c_str() : nullptr);
    }

    BOOL DeleteMenu(UINT position, UINT flags) override { return ::DeleteMenu(m_handle, position, flags); }

    int GetMenuItemCount() const override { return ::GetMenuItemCount(m_handle); }
};

class Win32Window : public DialogWindow {
public:
    Win32Window(HWND hwnd, Dialog& dialog) : m_hwnd(hwnd), m_dialog(dialog) {}

    Dialog& Owner() const { return m_dialog; }

    void SetItemText(int id, const std::string& text) override
    {
        ::SetDlgItemTextW(m_hwnd, id, WideFromUtf8(text).c_str());
    }

    std::string GetItemText(int id) const override
    {
        HWND item = ::GetDlgItem(m_hwnd, id);
        if (!item)
            return std::string();
        int length = ::GetWindowTextLengthW(item);
        std::wstring text(static_cast<size_t>(length) + 1, L'\0');
        int got = ::GetWindowTextW(item, &text[0], length + 1);
        return Utf8FromWide(text.c_str(), got);
    }

    BOOL EnableItem(int id, BOOL enable) override
    {
        HWND item = ::GetDlgItem(m_hwnd, id);
        return item ? ::EnableWindow(item, enable) : FALSE;
    }

    BOOL IsItemEnabled(int id) const override
    {
        HWND item = ::GetDlgItem(m_hwnd, id);
        return item && ::IsWindowEnabled(item);
    }

    void SetFocusItem(int id) override
    {
        // Through the dialog manager, so that the default-button frame follows the focus.
        if (HWND item = ::GetDlgItem(m_hwnd, id))
            ::SendMessageW(m_hwnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(item), TRUE);
    }

    LRESULT SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return ::SendDlgItemMessageW(m_hwnd, id, message, wParam, lParam);
    }

    BOOL PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return ::PostMessageW(m_hwnd, message, wParam, lParam);
    }

    LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam) override
    {
        return ::SendMessageW(m_hwnd, message, wParam, lParam);
    }

    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) override { return ::SetTimer(m_hwnd, id, elapse, nullptr); }

    BOOL KillTimer(UINT_PTR id) override { return ::KillTimer(m_hwnd, id); }

    void EndDialog(INT_PTR result) override { ::EndDialog(m_hwnd, result); }

    Menu* GetSystemMenu(BOOL revert) override
    {
        m_menu.m_handle = ::GetSystemMenu(m_hwnd, revert);
        return m_menu.m_handle ? &m_menu : nullptr;
    }

    BOOL IsIconic() const override { return ::IsIconic(m_hwnd); }

    void GetClientRect(RECT* rect) const override { ::GetClientRect(m_hwnd, rect); }

    HDC BeginPaint() override { return ::BeginPaint(m_hwnd, &m_paint); }

    void EndPaint(HDC) override { ::EndPaint(m_hwnd, &m_paint); }

    BOOL DrawIcon(HDC dc, int x, int y, HICON icon) override { return ::DrawIcon(dc, x, y, icon); }

private:
    HWND m_hwnd;
    Dialog& m_dialog;
    Win32Menu m_menu;
    PAINTSTRUCT m_paint{};
};

// What RunModal hands to WM_INITDIALOG.
struct ModalStart {
    Win32Ui* backend;
    Dialog* dialog;
};

// Messages whose result a dialog procedure returns directly instead of through DWLP_MSGRESULT.
bool ReturnsResultDirectly(UINT message)
{
    switch (message) {
    case WM_INITDIALOG:
    case WM_QUERYDRAGICON:
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_COMPAREITEM:
    case WM_VKEYTOITEM:
    case WM_CHARTOITEM:
        return true;
    }
    return false;
}

// Per window: the backend, the dialog's window object.
struct WindowRecord {
    Win32Ui* backend;
    std::unique_ptr<Win32Window> window;
};

}  // namespace

Win32Ui::Win32Ui(HINSTANCE instance) : m_instance(instance)
{
    UiInstallBackend(this);
}

Win32Ui::~Win32Ui()
{
    if (UiBackendInForce() == this)
        UiInstallBackend(nullptr);
}

INT_PTR CALLBACK Win32Ui::DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* record = reinterpret_cast<WindowRecord*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (message == WM_INITDIALOG) {
        auto* start = reinterpret_cast<ModalStart*>(lParam);
        record = new WindowRecord{start->backend, std::make_unique<Win32Window>(hwnd, *start->dialog)};
        ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(record));
        start->backend->m_open.push_back(hwnd);
        start->dialog->AttachWindow(record->window.get());
    }
    if (!record)
        return FALSE;
    Dialog& dialog = record->window->Owner();

    // A click on a disabled button is no command (some systems deliver BM_CLICK's notice anyway).
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && lParam &&
        !::IsWindowEnabled(reinterpret_cast<HWND>(lParam)))
        return TRUE;

    bool passToDefault = false;
    LRESULT result = dialog.Dispatch(message, wParam, lParam, &passToDefault);

    if (message == WM_NCDESTROY) {
        std::vector<HWND>& open = record->backend->m_open;
        open.erase(std::remove(open.begin(), open.end(), hwnd), open.end());
        dialog.DetachWindow();
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        delete record;
        return FALSE;
    }
    if (passToDefault)
        return FALSE;
    if (ReturnsResultDirectly(message))
        return static_cast<INT_PTR>(result);
    ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

INT_PTR Win32Ui::RunModal(Dialog& dialog)
{
    ModalStart start{this, &dialog};
    HWND owner = m_open.empty() ? nullptr : m_open.back();
    return ::DialogBoxParamW(m_instance, MAKEINTRESOURCEW(dialog.TemplateId()), owner, DialogProc,
                             reinterpret_cast<LPARAM>(&start));
}

std::string Win32Ui::LoadString(UINT id)
{
    // With a zero length LoadStringW gives the address of the resource text itself.
    const wchar_t* text = nullptr;
    int length = ::LoadStringW(m_instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 ? Utf8FromWide(text, length) : std::string();
}

HICON Win32Ui::LoadIcon(UINT id)
{
    return ::LoadIconW(m_instance, MAKEINTRESOURCEW(id));
}

int Win32Ui::GetSystemMetrics(int index)
{
    return ::GetSystemMetrics(index);
}

void Win32Ui::EnableControlLook()
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
}

void Win32Ui::PostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (HWND hwnd : m_open)
        ::PostMessageW(hwnd, message, wParam, lParam);
}

void Win32Ui::PostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam)
{
    UINT_PTR id = ::SetTimer(nullptr, 0, delay, LaterTimerProc);
    if (id != 0)
        m_later[id] = {message, wParam, lParam};
}

VOID CALLBACK Win32Ui::LaterTimerProc(HWND, UINT, UINT_PTR id, DWORD)
{
    ::KillTimer(nullptr, id);
    auto* self = dynamic_cast<Win32Ui*>(UiBackendInForce());
    if (!self)
        return;
    auto found = self->m_later.find(id);
    if (found == self->m_later.end())
        return;
    LaterBroadcast later = found->second;
    self->m_later.erase(found);
    self->PostToAllDialogs(later.message, later.wParam, later.lParam);
}

const char* Win32CommandLineTail(void)
{
    const char* p = ::GetCommandLineA();
    if (*p == '"') {
        ++p;
        while (*p && *p != '"')
            ++p;
        if (*p == '"')
            ++p;
    } else {
        while (*p && *p != ' ' && *p != '\t')
            ++p;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    return p;
}
