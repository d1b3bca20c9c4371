#include "tools/update_check/update_session.h"

#include <functional>
#include <memory>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/updater_app.h"
#include "ui/headless/headless_ui.h"
#include "ui/win_app.h"
#include "unit/unit_table.h"

namespace {

// Virtual time per look at the progress dialog, and the most looks at any dialog before the run
// counts as one that does not end.
const DWORD LOOK_MS = 1000;
const unsigned MOST_LOOKS = 200;

class User {
public:
    User(EmulatedMachine& machine, SimUnit* unit, const UpdateSessionOptions& options, UpdateSession& session)
        : m_machine(machine), m_unit(unit), m_options(options), m_session(session)
    {
    }

    void Look(HeadlessUi& ui)
    {
        if (++m_looks > MOST_LOOKS)
            return;  // nothing more queued: the front end ends every dialog and reports a stall
        if (ui.TopTemplate() == IDD_PROGRESS_DIALOG) {
            WaitForTheUnit(ui);
        } else if (ui.TopTemplate() == IDD_UPDATER_DIALOG) {
            if (!m_session.startPressed && m_options.pressStart && ui.IsEnabled(IDC_START_BUTTON)) {
                m_session.startPressed = true;
                m_session.textAtStart = ui.Text(IDC_MESSAGE_TEXT);
                m_session.commandsAtStart = m_unit ? m_unit->Commands().size() : 0;
                ui.Click(IDC_START_BUTTON);
            } else {
                m_session.texts = ui.TextHistory(IDC_MESSAGE_TEXT);
                m_session.finalText = ui.Text(IDC_MESSAGE_TEXT);
                m_quit = ui.Click(IDOK);
            }
        }
        ui.WhenIdle([this](HeadlessUi& next) { Look(next); });
    }

    bool Quit() const { return m_quit; }

private:
    void WaitForTheUnit(HeadlessUi& ui)
    {
        if (m_waited >= m_options.patienceMs && !m_session.switchedOff && m_unit && m_unit->Present()) {
            m_machine.Unplug(*m_unit);
            m_session.switchedOff = true;
        }
        ui.AdvanceTime(LOOK_MS);
        m_waited += LOOK_MS;
    }

    EmulatedMachine& m_machine;
    SimUnit* m_unit;
    const UpdateSessionOptions& m_options;
    UpdateSession& m_session;
    unsigned m_looks = 0;
    DWORD m_waited = 0;
    bool m_quit = false;
};

}  // namespace

UpdateSession RunUpdateSession(EmulatedMachine& machine, SimUnit* unit, const char* commandLine,
                               const UpdateSessionOptions& options)
{
    UpdateSession session;
    User user(machine, unit, options, session);
    {
        HeadlessUi ui(AppResources());
        ui.WhenIdle([&user](HeadlessUi& next) { user.Look(next); });
        UpdaterApp app;
        UiRunApplication(app, commandLine);
        session.ended = !ui.Stalled() && user.Quit();
        session.uiTime = ui.Now();
    }
    session.machineTime = machine.Clock().Now();
    session.mutexesHeld = machine.MutexesHeld();
    machine.Faults().Clear();
    UnitLayerClose();
    session.handlesAfterClose = machine.OpenHandleCount();
    session.allocationsAfterClose = machine.OutstandingAllocations();
    return session;
}
