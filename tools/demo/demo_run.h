// One demo from start to end, on the dialog backend in force: the updater on the demo's machine;
// then, when the unit is no longer in the system (it left to restart after its update), the unit
// is switched off and on and the updater runs once more, so that its probe shows the revision the
// unit came back with.
#pragma once

#include <functional>
#include <string>

#include "tools/demo/demo_scenario.h"

// The demo's own remarks, for the front end to show as it can.
typedef std::function<void(const std::string& remark)> DemoRemarks;

// Returns 0 when every updater run ended with a text that reports success, else the status of the
// first that did not. A transcript, when the options ask for one, is written at the end.
int DemoRun(DemoScenario& scenario, const char* commandLine, const DemoRemarks& remark);
