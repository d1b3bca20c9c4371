// Runs the tool as a function on a scenario the test prepares, and keeps what it printed.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "qzvctl.h"
#include "sim_scenario.h"

struct ToolRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

inline ToolRun RunTool(const std::vector<std::string>& arguments, SimScenario* scenario = nullptr)
{
    std::ostringstream out, err;
    ToolRun run;
    run.exitCode = QzvctlMain(arguments, out, err, scenario);
    run.out = out.str();
    run.err = err.str();
    return run;
}

// The commands the unit received with this opcode.
inline std::vector<SimCommand> CommandsWithOpcode(const SimUnit& unit, uint8_t opcode)
{
    std::vector<SimCommand> found;
    for (const SimCommand& command : unit.Commands()) {
        if (!command.cdb.empty() && command.cdb[0] == opcode)
            found.push_back(command);
    }
    return found;
}

inline bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A scenario of one QZV-57H at the given revision on an emulated NT machine.
class QzvctlTest : public ::testing::Test {
protected:
    static SimScenarioOptions Options(const std::string& revision = "2.00")
    {
        SimScenarioOptions options;
        options.enabled = true;
        options.revision = revision;
        return options;
    }
};
