// The contract between the dialog framework and its backends. A backend turns a Dialog into a window
// on its medium (a Win32 dialog, a terminal screen, an in-memory model for tests), runs the modal
// loop, and sends the window's messages to the dialog through Dialog::Dispatch. Exactly one backend is
// in force at a time; the program's entry installs it.
//
// All texts crossing this contract are UTF-8.
#pragma once

#include <string>

#include "platform/win32_window_types.h"

class Dialog;

// A window's system menu. Items are addressed by command id (MF_BYCOMMAND) or position (MF_BYPOSITION).
class Menu {
public:
    virtual ~Menu() = default;
    // MF_SEPARATOR, or MF_STRING with a command id and its text.
    virtual BOOL AppendMenu(UINT flags, UINT_PTR id = 0, const char* text = nullptr) = 0;
    virtual BOOL DeleteMenu(UINT position, UINT flags) = 0;
    virtual int GetMenuItemCount() const = 0;
};

// One open dialog window, as its backend shows it. Items are the template's controls by id. Every
// operation on an id the template does not have does nothing (and reads as empty or disabled).
class DialogWindow {
public:
    virtual ~DialogWindow() = default;

    virtual void SetItemText(int id, const std::string& text) = 0;
    virtual std::string GetItemText(int id) const = 0;
    // Returns TRUE when the item was disabled before, as EnableWindow does.
    virtual BOOL EnableItem(int id, BOOL enable) = 0;
    virtual BOOL IsItemEnabled(int id) const = 0;
    virtual void SetFocusItem(int id) = 0;
    // Control messages (the progress bar's PBM_* messages).
    virtual LRESULT SendItemMessage(int id, UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Messages to the dialog itself. Posted ones arrive through the modal loop, in order, after the
    // handler that posted them has returned; sent ones are dispatched at once.
    virtual BOOL PostMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    virtual LRESULT SendMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // WM_TIMER with the id every `elapse` ms while the modal loop waits; the same id replaces a timer.
    virtual UINT_PTR SetTimer(UINT_PTR id, UINT elapse) = 0;
    virtual BOOL KillTimer(UINT_PTR id) = 0;

    // Ends the modal loop once the current message has been handled; DoModal returns `result`.
    virtual void EndDialog(INT_PTR result) = 0;

    // Null when the window has no system menu. `revert` restores the standard menu first.
    virtual Menu* GetSystemMenu(BOOL revert) = 0;

    virtual BOOL IsIconic() const = 0;
    virtual void GetClientRect(RECT* rect) const = 0;

    // Painting, for WM_PAINT handlers (PaintDC).
    virtual HDC BeginPaint() = 0;
    virtual void EndPaint(HDC dc) = 0;
    virtual BOOL DrawIcon(HDC dc, int x, int y, HICON icon) = 0;
};

class UiBackend {
public:
    virtual ~UiBackend() = default;

    // Creates the dialog's window from its template, owned by the dialog on top (if any), sends
    // WM_INITDIALOG and runs the modal loop until EndDialog. -1 when the window cannot be created.
    virtual INT_PTR RunModal(Dialog& dialog) = 0;

    // Resources of the program. An unknown string is empty; an unknown icon is null.
    virtual std::string LoadString(UINT id) = 0;
    virtual HICON LoadIcon(UINT id) = 0;
    virtual int GetSystemMetrics(int index) = 0;

    // The process-wide control look (common controls, three-dimensional frames).
    virtual void EnableControlLook() = 0;

    // Posts the message to every dialog of the program that is open, the way the system broadcasts
    // WM_DEVICECHANGE to top-level windows. The emulated machine and the terminal's device watcher
    // deliver their device-change notices through this.
    virtual void PostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // The same, once `delay` ms have passed, to the dialogs open then: a notice that the outside
    // world (a simulated unit restarting) gives some time after the call that caused it.
    virtual void PostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The backend in force, or null. Installing replaces the previous one (null uninstalls).
void UiInstallBackend(UiBackend* backend);
UiBackend* UiBackendInForce(void);

// Shorthands for the backend in force; they do nothing (empty, null, 0) when none is installed.
std::string UiLoadString(UINT id);
HICON UiLoadIcon(UINT id);
int UiGetSystemMetrics(int index);
void UiPostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam);
void UiPostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam);

// Text in the program's ANSI code page (paths, version strings read with the A functions) as UTF-8
// for display. On Linux the code page is UTF-8 already.
std::string UiTextFromAnsi(const char* text);
