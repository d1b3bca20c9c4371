// What every report of `qzvctl update` must hold, whatever happened: one JSON object on one line with
// every documented field, its outcome and exit code agreeing with the program's exit status, and the
// message the updater's own text for that end.
#pragma once

#include <string>

#include "json_value.h"

// The documented outcome of an exit code ("updated", "no-unit", ...), or "" for an undocumented code.
std::string DocumentedOutcome(int exitCode);

// Checks the output of one run with --json against its exit code (with EXPECT_*), and returns the
// report read from it.
JsonValue ExpectSoundReport(const std::string& out, int exitCode);
