// qzvsim's command line: where to listen, how much to say, and the groups of units to serve, each
// described by the demo's unit options.
#pragma once

#include <string>
#include <vector>

#include "tools/demo/demo_options.h"

struct QzvsimGroup {
    DemoOptions unit;
    unsigned count = 1;
};

struct QzvsimOptions {
    std::string listen = "127.0.0.1:3260";
    bool verbose = false;
    bool help = false;
    bool version = false;
    std::vector<QzvsimGroup> groups;  // never empty after a successful parse
};

extern const char QZVSIM_USAGE[];
constexpr unsigned QZVSIM_MAX_UNITS = 64;

bool QzvsimParse(const std::vector<std::string>& arguments, QzvsimOptions* options, std::string* error);

// Where the transcript of a group's unit goes: FILE for a group of one, FILE.N (N the unit's index
// among all units) otherwise; empty without a transcript.
std::string QzvsimTranscriptPath(const QzvsimGroup& group, unsigned unitIndex);
