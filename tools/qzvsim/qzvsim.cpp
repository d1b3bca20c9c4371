#include "tools/qzvsim/qzvsim.h"

#include <memory>

#include "platform/tcp_server.h"
#include "tools/demo/demo_unit.h"
#include "tools/qzvsim/qzvsim_server.h"

int QzvsimMain(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& error)
{
    QzvsimOptions options;
    std::string problem;
    if (!QzvsimParse(arguments, &options, &problem)) {
        error << "qzvsim: " << problem << "\n" << QZVSIM_USAGE;
        return 2;
    }
    if (options.help) {
        out << QZVSIM_USAGE;
        return 0;
    }
    if (options.version) {
        out << "qzvsim " << PROJECT_VERSION << "\n";
        return 0;
    }

    std::vector<std::unique_ptr<SimUnit>> units;
    std::vector<IscsiServedUnit> served;
    std::vector<std::string> transcripts;
    for (const QzvsimGroup& group : options.groups) {
        for (unsigned i = 0; i < group.count; ++i) {
            units.emplace_back(new SimUnit(DemoUnitConfig(group.unit)));
            DemoInjectUnitFault(*units.back(), group.unit.fault);
            served.push_back({units.back().get(), group.unit.restartMs});
            transcripts.push_back(QzvsimTranscriptPath(group, static_cast<unsigned>(transcripts.size())));
        }
    }
    IscsiPortal portal(served);
    QzvsimReport report(out, options.verbose);
    bool transcript = false;
    for (const std::string& path : transcripts)
        transcript = transcript || !path.empty();
    portal.ReportCommands(options.verbose || transcript);
    for (size_t unit = 0; unit < transcripts.size(); ++unit) {
        if (!transcripts[unit].empty() && !report.OpenTranscript(unit, transcripts[unit])) {
            error << "qzvsim: cannot write " << transcripts[unit] << "\n";
            return 1;
        }
    }

    TcpSocket listener = TCP_NO_SOCKET;
    std::string bound;
    if (!TcpListen(options.listen, &listener, &bound, &problem)) {
        error << "qzvsim: " << problem << "\n";
        return 1;
    }
    TcpCatchStopSignals();
    report.Line("listening " + bound);
    for (size_t unit = 0; unit < portal.UnitCount(); ++unit)
        report.Line(QzvsimUnitLine(portal, unit));
    QzvsimServe(portal, listener, report);
    TcpClose(listener);
    report.Line("stopped");
    return 0;
}
