#include "tools/qzvsim/qzvsim_report.h"

namespace {

// Text from the network, fit for one line of output.
std::string Printable(const std::string& text)
{
    std::string shown = text.empty() ? "-" : text;
    for (char& c : shown) {
        if (c <= ' ' || c > '~')
            c = '?';
    }
    return shown;
}

std::string Unit(const IscsiEvent& event) { return event.unit < 0 ? "-" : std::to_string(event.unit); }

std::string Who(const IscsiEvent& event)
{
    return " peer=" + Printable(event.peer) + " initiator=" + Printable(event.initiator);
}

}  // namespace

std::string QzvsimEventLine(const IscsiEvent& event, bool verbose)
{
    switch (event.kind) {
    case IscsiEventKind::LOGIN:
        return (event.unit < 0 ? std::string("login discovery") : "login unit=" + Unit(event)) + Who(event);
    case IscsiEventKind::LOGIN_REFUSED:
        return "login-refused unit=" + Unit(event) + Who(event) + " status=" + event.detail;
    case IscsiEventKind::LOGOUT:
        return (event.unit < 0 ? std::string("logout discovery") : "logout unit=" + Unit(event)) + Who(event) +
               " reason=" + event.detail;
    case IscsiEventKind::LEAVING: return "restart unit=" + Unit(event) + " leaving ms=" + event.detail;
    case IscsiEventKind::BACK: return "restart unit=" + Unit(event) + " back revision=" + Printable(event.detail);
    case IscsiEventKind::GONE: return "gone unit=" + Unit(event);
    case IscsiEventKind::COMMAND:
        if (!verbose)
            return std::string();
        return "command unit=" + Unit(event) + (event.unitReceived ? " by=unit " : " by=target ") + event.detail;
    }
    return std::string();
}

std::string QzvsimUnitLine(const IscsiPortal& portal, size_t unit)
{
    const SimUnitConfig& config = portal.Unit(unit).Config();
    return "unit=" + std::to_string(unit) + " target=" + portal.TargetName(unit) + " product=" +
           Printable(config.product) + " revision=" + Printable(config.revision);
}

bool QzvsimReport::OpenTranscript(size_t unit, const std::string& path)
{
    if (m_transcripts.size() <= unit)
        m_transcripts.resize(unit + 1);
    m_transcripts[unit].reset(new std::ofstream(path, std::ios::binary | std::ios::trunc));
    return m_transcripts[unit]->good();
}

void QzvsimReport::Line(const std::string& line) { m_out << line << std::endl; }

void QzvsimReport::Events(const std::vector<IscsiEvent>& events)
{
    for (const IscsiEvent& event : events) {
        const std::string line = QzvsimEventLine(event, m_verbose);
        if (!line.empty())
            Line(line);
        if (event.kind != IscsiEventKind::COMMAND || !event.unitReceived || event.unit < 0)
            continue;
        const size_t unit = static_cast<size_t>(event.unit);
        if (unit < m_transcripts.size() && m_transcripts[unit])
            *m_transcripts[unit] << event.detail << "\n" << std::flush;
    }
}
