// The in-memory dialog window and the dialog manager's rules for it.
#include "ui/model_window.h"

#include <cctype>
#include <cstring>

#include "ui/dialog.h"
#include "ui/model_backend.h"

namespace {

// The system menu of a dialog with a caption and a modal frame, as the system builds it.
const ModelMenuItem STANDARD_SYSTEM_MENU[] = {
    {MF_STRING, SC_MOVE, "移動(&M)"},
    {MF_SEPARATOR, 0, ""},
    {MF_STRING, SC_CLOSE, "閉じる(&C)"},
};

// Client pixels per dialog unit: a font cell of 8 x 16 pixels is 4 x 8 dialog units.
const int PIXELS_PER_UNIT = 2;

ModelControl::Kind KindOf(const ControlTemplate& control)
{
    if (std::strcmp(control.className, "Button") == 0)
        return ModelControl::PUSH_BUTTON;
    if (std::strcmp(control.className, "msctls_progress32") == 0)
        return ModelControl::PROGRESS_BAR;
    if (std::strcmp(control.className, "Static") == 0)
        return (control.style & SS_TYPEMASK) == SS_ICON ? ModelControl::STATIC_ICON : ModelControl::STATIC_TEXT;
    return ModelControl::OTHER;
}

bool IsDefaultButton(const ModelControl& control)
{
    return control.kind == ModelControl::PUSH_BUTTON && (control.source->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON;
}

bool TakesFocus(const ModelControl& control)
{
    return control.kind == ModelControl::PUSH_BUTTON && control.enabled && (control.source->style & WS_TABSTOP);
}

// Model handles are tokens that are never dereferenced.
HDC PaintToken()
{
    return reinterpret_cast<HDC>(static_cast<uintptr_t>(0xDC));
}

}  // namespace

char MnemonicOf(const std::string& caption)
{
    for (size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&')
            continue;
        if (caption[i + 1] == '&') {
            ++i;
            continue;
        }
        unsigned char letter = static_cast<unsigned char>(caption[i + 1]);
        return letter < 0x80 ? static_cast<char>(std::toupper(letter)) : 0;
    }
    return 0;
}

std::string CaptionWithoutMarkers(const std::string& caption)
{
    std::string shown;
    for (size_t i = 0; i < caption.size(); ++i) {
        if (caption[i] == '&' && i + 1 < caption.size())
            ++i;
        shown += caption[i];
    }
    return shown;
}

class ModelWindow::SystemMenu : public Menu {
public:
    explicit SystemMenu(ModelWindow& window) : m_window(window) {}

    BOOL AppendMenu(UINT flags, UINT_PTR id, const char* text) override
    {
        if (flags & MF_SEPARATOR)
            m_window.m_menuItems.push_back({MF_SEPARATOR, 0, ""});
        else
            m_window.m_menuItems.push_back({MF_STRING, id, text ? text : ""});
        m_window.m_backend.WindowChanged(m_window);
        return TRUE;
    }

    BOOL DeleteMenu(UINT position, UINT flags) override
    {
        auto& items = m_window.m_menuItems;
        if (flags & MF_BYPOSITION) {
            if (position >= items.size())
                return FALSE;
            items.erase(items.begin() + position);
        } else {
            size_t i = 0;
            while (i < items.size() && !(items[i].flags == MF_STRING && items[i].id == position))
                ++i;
            if (i == items.size())
                return FALSE;
            items.erase(items.begin() + static_cast<std::ptrdiff_t>(i));
        }
        m_window.m_backend.WindowChanged(m_window);
        return TRUE;
    }

    int GetMenuItemCount() const override { return static_cast<int>(m_window.m_menuItems.size()); }

private:
    ModelWindow& m_window;
};

ModelWindow::ModelWindow(ModelBackend& backend, Dialog& dialog, const DialogTemplate& dialogTemplate)
    : m_backend(backend), m_dialog(dialog), m_template(dialogTemplate), m_caption(dialogTemplate.caption)
{
    for (size_t i = 0; i < dialogTemplate.controlCount; ++i) {
        const ControlTemplate& source = dialogTemplate.controls[i];
        ModelControl control{};
        control.id = source.id;
        control.kind = KindOf(source);
        control.source = &source;
        control.text = source.text ? source.text : "";
        control.enabled = (source.style & WS_DISABLED) == 0;
        m_controls.push_back(control);
    }
    if (dialogTemplate.style & WS_SYSMENU) {
        m_menu.reset(new SystemMenu(*this));
        ResetSystemMenu();
    }
}

ModelWindow::~ModelWindow() = default;

void ModelWindow::ResetSystemMenu()
{
    m_menuItems.assign(std::begin(STANDARD_SYSTEM_MENU), std::end(STANDARD_SYSTEM_MENU));
}

ModelControl* ModelWindow::FindControl(int id)
{
    for (ModelControl& control : m_controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

const ModelControl* ModelWindow::Find(int id) const
{
    for (const ModelControl& control : m_controls)
        if (control.id == id)
            return &control;
    return nullptr;
}

void ModelWindow::SetItemText(int id, const std::string& text)
{
    ModelControl* control = FindControl(id);
    if (!control)
        return;
    control->text = text;
    control->history.push_back(text);
    m_backend.ItemTextChanged(*this, id);
    m_backend.WindowChanged(*this);
}

std::string ModelWindow::GetItemText(int id) const
{
    const ModelControl* control = Find(id);
    return control ? control->text : std::string();
}

BOOL ModelWindow::EnableItem(int id, BOOL enable)
{
    ModelControl* control = FindControl(id);
    if (!control)
        return FALSE;
    BOOL wasDisabled = control->enabled ? FALSE : TRUE;
    control->enabled = enable != FALSE;
    // A control that is disabled loses the focus, and nothing else gets it.
    if (!control->enabled && m_focus == id)
        m_focus = 0;
    m_backend.WindowChanged(*this);
    return wasDisabled;
}

BOOL ModelWindow::IsItemEnabled(int id) const
{
    const ModelControl* control = Find(id);
    return control && control->enabled ? TRUE : FALSE;
}

void ModelWindow::SetFocusItem(int id)
{
    const ModelControl* control = Find(id);
    if (control && control->enabled) {
        m_focus = id;
        m_backend.WindowChanged(*this);
    }
}

LRESULT ModelWindow::SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    ModelControl* bar = FindControl(id);
    if (!bar || bar->kind != ModelControl::PROGRESS_BAR)
        return 0;
    LRESULT previous = 0;
    switch (message) {
    case PBM_SETRANGE32:
    case PBM_SETRANGE:
        previous = MAKELPARAM(bar->rangeLow, bar->rangeHigh);
        if (message == PBM_SETRANGE32) {
            bar->rangeLow = static_cast<int>(wParam);
            bar->rangeHigh = static_cast<int>(lParam);
        } else {
            bar->rangeLow = LOWORD(lParam);
            bar->rangeHigh = HIWORD(lParam);
        }
        if (bar->position < bar->rangeLow)
            bar->position = bar->rangeLow;
        if (bar->position > bar->rangeHigh)
            bar->position = bar->rangeHigh;
        break;
    case PBM_SETPOS: {
        previous = bar->position;
        int position = static_cast<int>(wParam);
        bar->position = position < bar->rangeLow ? bar->rangeLow : position > bar->rangeHigh ? bar->rangeHigh : position;
        break;
    }
    case PBM_GETPOS:
        return bar->position;
    case PBM_GETRANGE:
        return wParam ? bar->rangeLow : bar->rangeHigh;
    default:
        return 0;
    }
    m_backend.WindowChanged(*this);
    return previous;
}

BOOL ModelWindow::PostMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    m_backend.Post(*this, message, wParam, lParam);
    return TRUE;
}

LRESULT ModelWindow::SendMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    return Deliver(message, wParam, lParam);
}

UINT_PTR ModelWindow::SetTimer(UINT_PTR id, UINT elapse)
{
    return m_backend.StartTimer(*this, id, elapse);
}

BOOL ModelWindow::KillTimer(UINT_PTR id)
{
    return m_backend.StopTimer(*this, id);
}

void ModelWindow::EndDialog(INT_PTR result)
{
    m_ended = true;
    m_result = result;
}

Menu* ModelWindow::GetSystemMenu(BOOL revert)
{
    if (!m_menu)
        return nullptr;
    if (revert)
        ResetSystemMenu();
    return m_menu.get();
}

const std::vector<ModelMenuItem>& ModelWindow::SystemMenuItems() const
{
    return m_menuItems;
}

bool ModelWindow::HasSystemMenu() const
{
    return m_menu != nullptr;
}

void ModelWindow::GetClientRect(RECT* rect) const
{
    *rect = RECT{0, 0, m_template.cx * PIXELS_PER_UNIT, m_template.cy * PIXELS_PER_UNIT};
}

HDC ModelWindow::BeginPaint()
{
    return PaintToken();
}

void ModelWindow::EndPaint(HDC) {}

BOOL ModelWindow::DrawIcon(HDC dc, int x, int y, HICON icon)
{
    if (dc != PaintToken() || !icon)
        return FALSE;
    m_drawn.push_back({x, y, icon});
    return TRUE;
}

void ModelWindow::SetIconic(bool iconic)
{
    m_iconic = iconic;
    m_backend.WindowChanged(*this);
}

LRESULT ModelWindow::Deliver(UINT message, WPARAM wParam, LPARAM lParam)
{
    bool passToDefault = false;
    LRESULT result = m_dialog.Dispatch(message, wParam, lParam, &passToDefault);
    return passToDefault ? DefaultHandling(message, wParam, lParam) : result;
}

LRESULT ModelWindow::DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        switch (wParam & 0xFFF0) {
        case SC_CLOSE: Deliver(WM_CLOSE, 0, 0); break;
        case SC_MINIMIZE: SetIconic(true); break;
        case SC_RESTORE: SetIconic(false); break;
        }
        return 0;
    case WM_CLOSE: {
        // As the dialog manager does: a close request is the Cancel command, unless a Cancel
        // button exists and is disabled.
        const ModelControl* cancel = Find(IDCANCEL);
        if (!cancel || cancel->enabled)
            Deliver(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        return 0;
    }
    case WM_SETICON: {
        HICON& slot = wParam == ICON_BIG ? m_bigIcon : m_smallIcon;
        HICON previous = slot;
        slot = reinterpret_cast<HICON>(lParam);
        m_backend.WindowChanged(*this);
        return reinterpret_cast<LRESULT>(previous);
    }
    }
    return 0;
}

bool ModelWindow::PressButton(int id)
{
    const ModelControl* button = Find(id);
    if (!button || button->kind != ModelControl::PUSH_BUTTON || !button->enabled || m_ended)
        return false;
    PostMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
    return true;
}

bool ModelWindow::PressDefault()
{
    const ModelControl* focused = Find(m_focus);
    if (focused && focused->kind == ModelControl::PUSH_BUTTON)
        return PressButton(m_focus);
    for (const ModelControl& control : m_controls)
        if (IsDefaultButton(control))
            return PressButton(control.id);
    // Without a default push button the dialog manager sends IDOK.
    const ModelControl* ok = Find(IDOK);
    if (ok && !ok->enabled)
        return false;
    PostMessage(WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    return true;
}

void ModelWindow::PressEscape()
{
    PostMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

void ModelWindow::RequestClose()
{
    PostMessage(WM_CLOSE, 0, 0);
}

bool ModelWindow::ChooseSystemCommand(UINT_PTR id)
{
    for (const ModelMenuItem& item : m_menuItems) {
        if (item.flags == MF_STRING && item.id == id) {
            PostMessage(WM_SYSCOMMAND, id, 0);
            return true;
        }
    }
    return false;
}

int ModelWindow::ButtonWithMnemonic(char letter) const
{
    char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const ModelControl& control : m_controls)
        if (control.kind == ModelControl::PUSH_BUTTON && MnemonicOf(control.text) == wanted)
            return control.id;
    return 0;
}

UINT_PTR ModelWindow::SystemItemWithMnemonic(char letter) const
{
    char wanted = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const ModelMenuItem& item : m_menuItems)
        if (item.flags == MF_STRING && MnemonicOf(item.text) == wanted)
            return item.id;
    return 0;
}

void ModelWindow::FocusFirstTabStop()
{
    for (const ModelControl& control : m_controls) {
        if (TakesFocus(control)) {
            m_focus = control.id;
            m_backend.WindowChanged(*this);
            return;
        }
    }
}

void ModelWindow::MoveFocus(int step)
{
    std::vector<int> stops;
    for (const ModelControl& control : m_controls)
        if (TakesFocus(control))
            stops.push_back(control.id);
    if (stops.empty())
        return;
    size_t at = stops.size();
    for (size_t i = 0; i < stops.size(); ++i)
        if (stops[i] == m_focus)
            at = i;
    const long count = static_cast<long>(stops.size());
    long next = at == stops.size() ? (step > 0 ? 0 : count - 1) : (static_cast<long>(at) + step % count + count) % count;
    m_focus = stops[static_cast<size_t>(next)];
    m_backend.WindowChanged(*this);
}
