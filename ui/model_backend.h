// The modal loop and message queue shared by the backends that keep their dialogs as models (the
// terminal and the headless one). One queue serves every open dialog, as a thread's queue does: a
// nested modal loop also delivers what was posted to the dialogs below it. Timers fire only when the
// queue is empty. What a concrete backend adds is its clock, how it waits for input, and how it shows
// the windows.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/model_window.h"
#include "ui/resources.h"

class ModelBackend : public UiBackend {
public:
    explicit ModelBackend(const ResourceTable& resources);
    ~ModelBackend() override;

    INT_PTR RunModal(Dialog& dialog) override;
    std::string LoadString(UINT id) override;
    HICON LoadIcon(UINT id) override;
    int GetSystemMetrics(int index) override;
    void EnableControlLook() override {}
    void PostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam) override;
    void PostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam) override;

    // The dialog that takes input (the last one opened), or null.
    ModelWindow* TopWindow() const;
    const std::vector<ModelWindow*>& OpenWindows() const { return m_windows; }
    const ResourceTable& Resources() const { return m_resources; }

    // Called by the windows.
    void Post(ModelWindow& window, UINT message, WPARAM wParam, LPARAM lParam);
    UINT_PTR StartTimer(ModelWindow& window, UINT_PTR id, UINT elapse);
    BOOL StopTimer(ModelWindow& window, UINT_PTR id);
    virtual void ItemTextChanged(ModelWindow&, int) {}
    virtual void WindowChanged(ModelWindow&) {}

protected:
    // Milliseconds of the backend's clock.
    virtual DWORD Now() = 0;
    // The loop has nothing to deliver: wait at most `timeout` ms (INFINITE when no timer runs) for
    // input to `top` and turn it into posted messages. Returning without input is allowed.
    virtual void WaitForInput(ModelWindow& top, DWORD timeout) = 0;
    // A window became visible (after WM_INITDIALOG, unless it ended there) or is about to close.
    virtual void WindowShown(ModelWindow&) {}
    virtual void WindowClosing(ModelWindow&) {}

    // Ends every open dialog with `result`, top first (when the input is gone for good).
    void EndAll(INT_PTR result);
    // Milliseconds until the next timer or later broadcast is due: 0 when one is due now, INFINITE
    // when none is waiting.
    DWORD TimeToNextTimer();

private:
    struct Posted {
        ModelWindow* window;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    struct Timer {
        ModelWindow* window;
        UINT_PTR id;
        UINT elapse;
        DWORD due;
    };
    struct LaterBroadcast {
        DWORD due;
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    // Delivers one posted message, or else posts a due later broadcast or delivers one due timer;
    // false when there was nothing.
    bool DeliverOne();
    void Forget(ModelWindow& window);

    const ResourceTable& m_resources;
    std::deque<Posted> m_queue;
    std::vector<Timer> m_timers;
    std::vector<LaterBroadcast> m_later;
    std::vector<ModelWindow*> m_windows;
};
