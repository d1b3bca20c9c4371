// The demo's course: update run, power cycle, second probe.
#include "tools/demo/demo_run.h"

#include "app/updater_app.h"
#include "ui/win_app.h"

namespace {

int RunUpdater(const char* commandLine)
{
    UpdaterApp app;
    return UiRunApplication(app, commandLine);
}

}  // namespace

int DemoRun(DemoScenario& scenario, const char* commandLine, const DemoRemarks& remark)
{
    remark("demo: " + scenario.Description());
    int status = RunUpdater(commandLine);
    SimUnit* unit = scenario.Unit();
    if (unit && !unit->Present()) {
        std::string before = unit->Config().revision;
        scenario.PowerCycle();
        remark("demo: the unit has left the system; switching it off and on: revision " + before + " -> " +
               unit->Config().revision);
        int secondStatus = RunUpdater(commandLine);
        status = status != 0 ? status : secondStatus;
    }
    const std::string& transcript = scenario.Options().transcriptPath;
    if (!transcript.empty()) {
        if (scenario.WriteTranscript(transcript))
            remark("demo: " + std::to_string(unit ? unit->Commands().size() : 0) + " commands written to " + transcript);
        else
            remark("demo: cannot write " + transcript);
    }
    return status;
}
