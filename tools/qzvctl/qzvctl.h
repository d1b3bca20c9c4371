// The technician's tool as a function, so that tests run it as the program does: `arguments` are
// the words after the program's name; results go to `out`, messages to `err` (with --json both
// results and failures go to `out` as one JSON object). Returns the exit code: 0 success, 1 a unit
// command or a file failed, 2 the command line was wrong and nothing was sent; update has more
// (update_outcome.h).
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <vector>

class SimScenario;

// Where a command may ask a person: the answers are read from `input`, which counts as a person only
// when it is a terminal.
struct ToolConsole {
    bool inputIsTerminal = false;
    std::istream* input = nullptr;
};

// The console of the process: standard input, and whether it is a terminal.
ToolConsole ProcessConsole();

// With `scenario`, the tool runs on that scenario's emulated machine (prepared by the caller, who may
// preload and inspect its units) and the command line's scenario options are not looked at. Without
// `console`, questions go to the process's console.
int QzvctlMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
               SimScenario* scenario = nullptr, const ToolConsole* console = nullptr);
