// What every command of the tool works with: its arguments, the unit it addresses, the report it
// fills, and the way it ends (success, a failing unit status or file, or a usage mistake).
#pragma once

#include <cstdint>
#include <string>

#include "argument_list.h"
#include "host/host_io.h"
#include "report.h"
#include "status_text.h"

enum ToolResult {
    TOOL_OK = 0,
    TOOL_FAILED = 1,  // a unit command or a file operation failed
    TOOL_USAGE = 2,   // the command line was wrong; nothing was sent
};

// The largest amount of data one run of a block or memory command moves.
const uint64_t TOOL_MAX_TRANSFER = 0x4000000;  // 64 MiB

struct ToolContext {
    explicit ToolContext(const ArgumentList& parsed) : arguments(parsed) {}

    const ArgumentList& arguments;  // Positional()[0] is the command's name
    DWORD unit = 0;                 // --unit
    Report result = Report::Object();
    std::string error;              // why the command failed
    bool hasStatus = false;         // the failure was a unit status
    UnitStatus status = 0;
    StatusSource statusSource = StatusSource::SENSE;
};

// The command's positional arguments after its name must number between `min` and `max`.
bool ArgumentCountIs(ToolContext& context, size_t min, size_t max);

// Counts the attached units (building the unit table) and checks the --unit index against them.
// False with the error set when there is no such unit.
bool SelectUnit(ToolContext& context);

// Ends a command: a unit status from `operation`, a failure in words, or a usage mistake.
ToolResult UnitFailure(ToolContext& context, const std::string& operation, UnitStatus status);
ToolResult Failure(ToolContext& context, const std::string& message);
ToolResult UsageFailure(ToolContext& context, const std::string& message);

// A numeric argument of at most `max`, or a usage failure (returned through *result).
bool NumberArgument(ToolContext& context, const std::string& text, uint64_t max, const std::string& what,
                    uint64_t* value);
