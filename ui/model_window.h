// A dialog window kept as a model in memory: its controls with their texts, enabled state and focus,
// its system menu, icons and painting. The terminal and headless backends show and drive this model;
// the dialog manager's rules (focus on the first tab stop, Enter, Esc, close requests, the default
// handling of messages) are implemented here once for both.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/resources.h"

class Dialog;
class ModelBackend;

struct ModelControl {
    enum Kind { STATIC_TEXT, STATIC_ICON, PUSH_BUTTON, PROGRESS_BAR, OTHER };
    int id;
    Kind kind;
    const ControlTemplate* source;
    std::string text;
    // Every text set after the window was created, in order.
    std::vector<std::string> history;
    bool enabled;
    int rangeLow = 0;
    int rangeHigh = 100;
    int position = 0;
};

struct ModelMenuItem {
    UINT flags;  // MF_STRING or MF_SEPARATOR
    UINT_PTR id;
    std::string text;
};

struct ModelDrawnIcon {
    int x;
    int y;
    HICON icon;
};

class ModelWindow : public DialogWindow {
public:
    ModelWindow(ModelBackend& backend, Dialog& dialog, const DialogTemplate& dialogTemplate);
    ~ModelWindow() override;

    // DialogWindow
    void SetItemText(int id, const std::string& text) override;
    std::string GetItemText(int id) const override;
    BOOL EnableItem(int id, BOOL enable) override;
    BOOL IsItemEnabled(int id) const override;
    void SetFocusItem(int id) override;
    LRESULT SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) override;
    BOOL PostMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    UINT_PTR SetTimer(UINT_PTR id, UINT elapse) override;
    BOOL KillTimer(UINT_PTR id) override;
    void EndDialog(INT_PTR result) override;
    Menu* GetSystemMenu(BOOL revert) override;
    BOOL IsIconic() const override { return m_iconic; }
    void GetClientRect(RECT* rect) const override;
    HDC BeginPaint() override;
    void EndPaint(HDC dc) override;
    BOOL DrawIcon(HDC dc, int x, int y, HICON icon) override;

    Dialog& Owner() const { return m_dialog; }
    const DialogTemplate& Template() const { return m_template; }
    const std::string& Caption() const { return m_caption; }
    const std::vector<ModelControl>& Controls() const { return m_controls; }
    const ModelControl* Find(int id) const;
    int FocusId() const { return m_focus; }
    // Empty when the window has no system menu.
    const std::vector<ModelMenuItem>& SystemMenuItems() const;
    bool HasSystemMenu() const;
    HICON Icon(int which) const { return which == ICON_BIG ? m_bigIcon : m_smallIcon; }
    bool Ended() const { return m_ended; }
    INT_PTR Result() const { return m_result; }
    const std::vector<ModelDrawnIcon>& DrawnIcons() const { return m_drawn; }
    void SetIconic(bool iconic);

    // Runs a message through the dialog and then, when it asks for it, the default handling.
    LRESULT Deliver(UINT message, WPARAM wParam, LPARAM lParam);

    // Input as the dialog manager turns it into messages (posted, so they arrive in order). Each
    // returns false when the window takes no such input now.
    bool PressButton(int id);              // an enabled push button
    bool PressDefault();                   // Enter: the focused push button, else the default one
    void PressEscape();                    // WM_COMMAND IDCANCEL
    void RequestClose();                   // WM_CLOSE, as from the window frame or the task bar
    bool ChooseSystemCommand(UINT_PTR id); // an item of the system menu
    // The push button or system-menu item whose caption has "&letter" (any case); 0 when none.
    int ButtonWithMnemonic(char letter) const;
    UINT_PTR SystemItemWithMnemonic(char letter) const;
    // Focus on the first enabled control with WS_TABSTOP; moving goes through those in order.
    void FocusFirstTabStop();
    void MoveFocus(int step);

private:
    class SystemMenu;
    friend class SystemMenu;

    ModelControl* FindControl(int id);
    LRESULT DefaultHandling(UINT message, WPARAM wParam, LPARAM lParam);
    void ResetSystemMenu();

    ModelBackend& m_backend;
    Dialog& m_dialog;
    const DialogTemplate& m_template;
    std::string m_caption;
    std::vector<ModelControl> m_controls;
    std::vector<ModelMenuItem> m_menuItems;
    std::unique_ptr<SystemMenu> m_menu;
    int m_focus = 0;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
    bool m_iconic = false;
    bool m_ended = false;
    INT_PTR m_result = 0;
    std::vector<ModelDrawnIcon> m_drawn;
};

// "&S" in a caption: the letter after the ampersand, upper-cased; 0 when none ("&&" is a plain "&").
char MnemonicOf(const std::string& caption);
// The caption as shown: ampersand markers removed, "&&" shown as "&".
std::string CaptionWithoutMarkers(const std::string& caption);
