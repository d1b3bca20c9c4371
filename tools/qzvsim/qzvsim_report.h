// What qzvsim reports: its lines on standard output (formats in QZVSIM_USAGE) and the transcripts
// of the units' commands.
#pragma once

#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "sim/iscsi/iscsi_portal.h"
#include "tools/qzvsim/qzvsim_options.h"

// The line for an event; empty for a command when not verbose.
std::string QzvsimEventLine(const IscsiEvent& event, bool verbose);
std::string QzvsimUnitLine(const IscsiPortal& portal, size_t unit);

class QzvsimReport {
public:
    QzvsimReport(std::ostream& out, bool verbose) : m_out(out), m_verbose(verbose) {}
    // Opens (and empties) the unit's transcript file; false when it cannot be written.
    bool OpenTranscript(size_t unit, const std::string& path);
    void Line(const std::string& line);
    // Prints the events and writes the commands the units received to their transcripts.
    void Events(const std::vector<IscsiEvent>& events);

private:
    std::ostream& m_out;
    bool m_verbose;
    std::vector<std::unique_ptr<std::ofstream>> m_transcripts;  // by unit; null without one
};
