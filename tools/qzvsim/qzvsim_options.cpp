#include "tools/qzvsim/qzvsim_options.h"

#include <cstdlib>

const char QZVSIM_USAGE[] =
    "qzvsim [--listen=ADDR:PORT] [--verbose] [UNIT OPTIONS] [--unit UNIT OPTIONS]...\n"
    "Serves simulated QZV-57 units as iSCSI targets: one target per unit, the unit as LUN 0.\n"
    "\n"
    "  --listen=ADDR:PORT    where initiators connect (default 127.0.0.1:3260; port 0: any free port;\n"
    "                        [::1]:PORT for IPv6); also --listen ADDR:PORT\n"
    "  --verbose             a line for each command as well\n"
    "  --help, --version\n"
    "\n"
    "Unit options, as qzvupdate-demo takes them, describe a group of units:\n"
    "  --unit                starts another group; the options after it are that group's\n"
    "  --count=N             units in the group (default 1)\n"
    "  --product=G|H|TEXT    product identification (G: QZV-57G, H: QZV-57H; default H)\n"
    "  --revision=R.RR       firmware revision, four characters (default 1.99)\n"
    "  --slot=0..3           version slot of the configuration value (default 0)\n"
    "  --fault=sense:N       the unit answers its N-th command with HARDWARE ERROR\n"
    "  --fault=unplug:N      the unit leaves for good after N commands\n"
    "  --transcript=FILE     every command a unit receives, one a line as the demo writes them;\n"
    "                        FILE.N for unit N when the group has more than one unit\n"
    "  --restart-ms=N        how long a unit takes to restart after saving new firmware (default 3000)\n"
    "\n"
    "Units are numbered from 0 in the order given; unit N is the target\n"
    "  iqn.2025-01.invalid.qzvsim:<product in lower case>.N\n"
    "\n"
    "Standard output, one line per event, flushed at once:\n"
    "  listening ADDR:PORT\n"
    "  unit=N target=IQN product=PRODUCT revision=R.RR\n"
    "  login unit=N peer=ADDR:PORT initiator=NAME\n"
    "  login discovery peer=ADDR:PORT initiator=NAME\n"
    "  login-refused unit=N|- peer=ADDR:PORT initiator=NAME status=SSSS\n"
    "                        (0301: the unit is restarting; 0203: no such target; 0204: unit gone)\n"
    "  logout unit=N|discovery peer=ADDR:PORT initiator=NAME reason=WHY\n"
    "                        (logout, closed, protocol-error, unit-left, reinstated, target-reset,\n"
    "                        shutdown)\n"
    "  restart unit=N leaving ms=MS     the unit saved new firmware and left; logins are refused\n"
    "  restart unit=N back revision=R.RR  it is served again after MS milliseconds\n"
    "  gone unit=N                      the unit left for good (unplug fault)\n"
    "  command unit=N by=unit|target CDB | DIRECTION | LENGTH | SHA-256 | OUTCOME   (--verbose)\n"
    "                        by=target: answered by the target itself (REPORT LUNS, READ CAPACITY(16),\n"
    "                        the list of VPD pages, other LUNs, transfers above 1 MiB)\n"
    "  stopped\n"
    "Initiator names are shown with anything but printable ASCII (and blanks) as '?'.\n"
    "SIGINT and SIGTERM end the program after closing every connection.\n";

namespace {

bool Count(const std::string& text, unsigned* count)
{
    if (text.empty() || text.size() > 3 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *count = static_cast<unsigned>(std::strtoul(text.c_str(), nullptr, 10));
    return *count >= 1 && *count <= QZVSIM_MAX_UNITS;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

}  // namespace

bool QzvsimParse(const std::vector<std::string>& arguments, QzvsimOptions* options, std::string* error)
{
    *options = QzvsimOptions();
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help") {
            options->help = true;
        } else if (argument == "--version") {
            options->version = true;
        } else if (argument == "--verbose") {
            options->verbose = true;
        } else if (argument == "--listen" && i + 1 < arguments.size()) {
            options->listen = arguments[++i];
        } else if (StartsWith(argument, "--listen=")) {
            options->listen = argument.substr(9);
        } else if (argument == "--unit") {
            options->groups.emplace_back();
        } else if (StartsWith(argument, "--platform") || StartsWith(argument, "--transport")) {
            *error = "units are reached over iSCSI here, not through an emulated machine: " + argument;
            return false;
        } else if (StartsWith(argument, "--count=") || StartsWith(argument, "--")) {
            if (options->groups.empty())
                options->groups.emplace_back();
            QzvsimGroup& group = options->groups.back();
            if (StartsWith(argument, "--count=")) {
                if (!Count(argument.substr(8), &group.count)) {
                    *error = "bad value: " + argument;
                    return false;
                }
            } else if (!DemoParseOption(argument, &group.unit, error)) {
                return false;
            } else if (group.unit.fault.kind == DemoFaultKind::SYSTEM_CALL) {
                *error = "system call faults need the emulated machine: " + argument;
                return false;
            }
        } else {
            *error = "unknown argument: " + argument;
            return false;
        }
    }
    if (options->groups.empty())
        options->groups.emplace_back();
    unsigned total = 0;
    for (const QzvsimGroup& group : options->groups)
        total += group.count;
    if (total > QZVSIM_MAX_UNITS) {
        *error = "at most " + std::to_string(QZVSIM_MAX_UNITS) + " units";
        return false;
    }
    return true;
}

std::string QzvsimTranscriptPath(const QzvsimGroup& group, unsigned unitIndex)
{
    const std::string& path = group.unit.transcriptPath;
    if (path.empty() || group.count == 1)
        return path;
    return path + "." + std::to_string(unitIndex);
}
