// The headless backend, for tests. Dialogs are models in memory and time is virtual. A test installs
// a HeadlessUi, queues what it wants to do each time the program waits for the user (WhenIdle), and
// runs the program. Each step inspects the dialog on top and acts on it like a user: the actions are
// queued as the system would queue them and take effect after the step returns.
//
//     HeadlessUi ui(resources);
//     ui.WhenIdle([](HeadlessUi& ui) { EXPECT_EQ("...", ui.Text(1002)); ui.Click(IDOK); });
//     UiRunApplication(app, "-c fw.mot");
//     EXPECT_FALSE(ui.Stalled());
//
// When the program waits and no step is left, every open dialog is ended with -1 and Stalled() turns
// true, so that a test never hangs.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "ui/model_backend.h"

class HeadlessUi : public ModelBackend {
public:
    using Step = std::function<void(HeadlessUi&)>;

    // Installs itself as the backend in force; the destructor uninstalls it.
    explicit HeadlessUi(const ResourceTable& resources);
    ~HeadlessUi() override;

    HeadlessUi& WhenIdle(Step step);
    bool Stalled() const { return m_stalled; }
    size_t StepsLeft() const { return m_steps.size(); }

    // The dialog on top. Inspection of a missing dialog or control reads as empty or disabled.
    ModelWindow* Top() const { return TopWindow(); }
    UINT TopTemplate() const;
    size_t OpenDialogs() const { return OpenWindows().size(); }
    std::string Caption() const;
    std::string Text(int id) const;
    std::vector<std::string> TextHistory(int id) const;
    bool IsEnabled(int id) const;
    int Focus() const;
    std::vector<std::string> SystemMenuTexts() const;
    bool HasSystemCommand(UINT_PTR id) const;

    // User input to the dialog on top. Click and ChooseSystemCommand return false (and do nothing)
    // when the button is disabled or missing, or the menu has no such item.
    bool Click(int id);
    void PressEnter();
    void PressEscape();
    void RequestClose();
    bool ChooseSystemCommand(UINT_PTR id);

    // The system's broadcast of WM_DEVICECHANGE to every open dialog.
    void DeviceChange(WPARAM event, LPARAM data = 0);
    // Lets `ms` of virtual time pass once the step returns; timers fire as they fall due.
    void AdvanceTime(DWORD ms);
    DWORD Now() override { return m_now; }

protected:
    void WaitForInput(ModelWindow& top, DWORD timeout) override;

private:
    std::deque<Step> m_steps;
    DWORD m_now = 0;
    DWORD m_advanceLeft = 0;
    bool m_stalled = false;
};
