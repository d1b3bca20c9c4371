// The technician's tool as a function, so that tests run it as the program does: `arguments` are
// the words after the program's name; results go to `out`, messages to `err` (with --json both
// results and failures go to `out` as one JSON object). Returns the exit code: 0 success, 1 a unit
// command or a file failed, 2 the command line was wrong and nothing was sent.
#pragma once

#include <ostream>
#include <string>
#include <vector>

class SimScenario;

// With `scenario`, the tool runs on that scenario's emulated machine (prepared by the caller, who may
// preload and inspect its units) and the command line's scenario options are not looked at.
int QzvctlMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
               SimScenario* scenario = nullptr);
