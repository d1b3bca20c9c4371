// The shared modal loop of the model backends.
#include "ui/model_backend.h"

#include <algorithm>
#include <climits>
#include <memory>

#include "ui/dialog.h"

namespace {

// Icon handles of the model backends: tokens that are never dereferenced.
HICON IconToken(UINT id)
{
    return reinterpret_cast<HICON>(static_cast<uintptr_t>(0x10000u + id));
}

// Signed distance from now to `due` on a clock that wraps.
long Until(DWORD due, DWORD now)
{
    return static_cast<long>(static_cast<int32_t>(due - now));
}

}  // namespace

ModelBackend::ModelBackend(const ResourceTable& resources) : m_resources(resources) {}

ModelBackend::~ModelBackend() = default;

INT_PTR ModelBackend::RunModal(Dialog& dialog)
{
    const DialogTemplate* dialogTemplate = ResourceFindDialog(m_resources, dialog.TemplateId());
    if (!dialogTemplate)
        return -1;
    auto window = std::make_unique<ModelWindow>(*this, dialog, *dialogTemplate);
    m_windows.push_back(window.get());
    dialog.AttachWindow(window.get());

    if (window->Deliver(WM_INITDIALOG, 0, 0))
        window->FocusFirstTabStop();
    // A dialog that ends during WM_INITDIALOG is never shown.
    if (!window->Ended())
        WindowShown(*window);
    while (!window->Ended()) {
        if (DeliverOne())
            continue;
        WaitForInput(*window, TimeToNextTimer());
    }
    WindowClosing(*window);
    window->Deliver(WM_DESTROY, 0, 0);
    INT_PTR result = window->Result();
    Forget(*window);
    dialog.DetachWindow();
    if (ModelWindow* below = TopWindow())
        WindowChanged(*below);
    return result;
}

std::string ModelBackend::LoadString(UINT id)
{
    const char* text = ResourceFindString(m_resources, id);
    return text ? text : "";
}

HICON ModelBackend::LoadIcon(UINT id)
{
    return ResourceHasIcon(m_resources, id) ? IconToken(id) : nullptr;
}

int ModelBackend::GetSystemMetrics(int index)
{
    return index == SM_CXICON || index == SM_CYICON ? 32 : 0;
}

void ModelBackend::PostToAllDialogs(UINT message, WPARAM wParam, LPARAM lParam)
{
    for (ModelWindow* window : m_windows)
        Post(*window, message, wParam, lParam);
}

void ModelBackend::PostToAllDialogsLater(DWORD delay, UINT message, WPARAM wParam, LPARAM lParam)
{
    m_later.push_back({Now() + delay, message, wParam, lParam});
}

ModelWindow* ModelBackend::TopWindow() const
{
    return m_windows.empty() ? nullptr : m_windows.back();
}

void ModelBackend::Post(ModelWindow& window, UINT message, WPARAM wParam, LPARAM lParam)
{
    m_queue.push_back({&window, message, wParam, lParam});
}

UINT_PTR ModelBackend::StartTimer(ModelWindow& window, UINT_PTR id, UINT elapse)
{
    StopTimer(window, id);
    m_timers.push_back({&window, id, elapse, Now() + elapse});
    return id;
}

BOOL ModelBackend::StopTimer(ModelWindow& window, UINT_PTR id)
{
    auto found = std::find_if(m_timers.begin(), m_timers.end(),
                              [&](const Timer& timer) { return timer.window == &window && timer.id == id; });
    if (found == m_timers.end())
        return FALSE;
    m_timers.erase(found);
    return TRUE;
}

void ModelBackend::EndAll(INT_PTR result)
{
    for (auto window = m_windows.rbegin(); window != m_windows.rend(); ++window)
        (*window)->EndDialog(result);
}

DWORD ModelBackend::TimeToNextTimer()
{
    if (m_timers.empty() && m_later.empty())
        return INFINITE;
    DWORD now = Now();
    long soonest = LONG_MAX;
    for (const Timer& timer : m_timers)
        soonest = std::min(soonest, Until(timer.due, now));
    for (const LaterBroadcast& later : m_later)
        soonest = std::min(soonest, Until(later.due, now));
    return soonest <= 0 ? 0 : static_cast<DWORD>(soonest);
}

bool ModelBackend::DeliverOne()
{
    if (!m_queue.empty()) {
        Posted posted = m_queue.front();
        m_queue.pop_front();
        posted.window->Deliver(posted.message, posted.wParam, posted.lParam);
        return true;
    }
    DWORD now = Now();
    for (auto later = m_later.begin(); later != m_later.end(); ++later) {
        if (Until(later->due, now) <= 0) {
            LaterBroadcast due = *later;
            m_later.erase(later);
            PostToAllDialogs(due.message, due.wParam, due.lParam);
            return true;
        }
    }
    for (Timer& timer : m_timers) {
        if (Until(timer.due, now) <= 0) {
            // The next tick counts from now: a late timer does not fire in a burst.
            timer.due = now + timer.elapse;
            ModelWindow* window = timer.window;
            UINT_PTR id = timer.id;
            window->Deliver(WM_TIMER, id, 0);
            return true;
        }
    }
    return false;
}

void ModelBackend::Forget(ModelWindow& window)
{
    // Messages and timers of a closed window are dropped, as the system drops them.
    m_queue.erase(std::remove_if(m_queue.begin(), m_queue.end(),
                                 [&](const Posted& posted) { return posted.window == &window; }),
                  m_queue.end());
    m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(),
                                  [&](const Timer& timer) { return timer.window == &window; }),
                   m_timers.end());
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), &window), m_windows.end());
}
