// Parsing the demo's options.
#include "tools/demo/demo_options.h"

#include <cstdlib>

const char DEMO_USAGE[] =
    "Usage: qzvupdate-demo [options] [--] [updater command line]\n"
    "  or:  qzvupdate-demo --help | --version\n"
    "Runs the firmware updater on an emulated machine with one simulated QZV-57 unit, so that every\n"
    "step of an update can be watched without hardware; then switches the unit off and on and probes\n"
    "it again. The options describe the unit and the machine; the rest is the updater's own command\n"
    "line (see qzvupdate --help).\n"
    "\n"
    "Options:\n"
    "  --product=G|H|TEXT      the unit's product identification (G: QZV-57G, H: QZV-57H; default H)\n"
    "  --revision=R.RR         its firmware revision, four characters (default 1.99)\n"
    "  --slot=0..3             the version slot of its configuration value (default 0)\n"
    "  --platform=nt|9x        the emulated system (default nt)\n"
    "  --transport=pass-through|usb\n"
    "                          how the unit is attached: SCSI pass-through on NT or the ASPI\n"
    "                          manager on 9x, or the vendor USB driver (default pass-through)\n"
    "  --fault=KIND:N          sense:N  the unit answers its N-th command with HARDWARE ERROR\n"
    "                          call:N   the program's N-th system call fails\n"
    "                          unplug:N the unit leaves the system after N commands\n"
    "  --transcript=FILE       writes every command the unit received to FILE, one a line\n"
    "  --restart-ms=N          how long the unit takes to restart after saving (default 3000)\n"
    "  --help                  shows this text\n"
    "  --version               shows the version\n";

namespace {

// A whole decimal number up to `limit`.
bool Number(const std::string& text, unsigned limit, unsigned* value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9)
        return false;
    unsigned long parsed = std::strtoul(text.c_str(), nullptr, 10);
    if (parsed > limit)
        return false;
    *value = static_cast<unsigned>(parsed);
    return true;
}

bool ParseFault(const std::string& value, DemoFault* fault)
{
    if (value == "none") {
        *fault = DemoFault();
        return true;
    }
    size_t colon = value.find(':');
    if (colon == std::string::npos)
        return false;
    std::string kind = value.substr(0, colon);
    DemoFault parsed;
    if (kind == "sense")
        parsed.kind = DemoFaultKind::UNIT_SENSE;
    else if (kind == "call")
        parsed.kind = DemoFaultKind::SYSTEM_CALL;
    else if (kind == "unplug")
        parsed.kind = DemoFaultKind::UNPLUG;
    else
        return false;
    if (!Number(value.substr(colon + 1), 1000000, &parsed.nth) || parsed.nth == 0)
        return false;
    *fault = parsed;
    return true;
}

}  // namespace

bool DemoParseOption(const std::string& option, DemoOptions* options, std::string* error)
{
    size_t equals = option.find('=');
    std::string name = option.substr(0, equals);
    std::string value = equals == std::string::npos ? std::string() : option.substr(equals + 1);
    bool ok = equals != std::string::npos;
    if (!ok) {
        // Every option takes a value.
    } else if (name == "--product") {
        if (value == "G" || value == "g")
            options->product = "QZV-57G";
        else if (value == "H" || value == "h")
            options->product = "QZV-57H";
        else
            options->product = value;
        ok = !value.empty() && value.size() <= 16;
    } else if (name == "--revision") {
        options->revision = value;
        ok = !value.empty() && value.size() <= 4;
    } else if (name == "--slot") {
        ok = Number(value, 3, &options->slot);
    } else if (name == "--platform") {
        ok = value == "nt" || value == "9x";
        options->platform = value == "9x" ? DemoPlatform::WIN9X : DemoPlatform::NT;
    } else if (name == "--transport") {
        ok = value == "pass-through" || value == "usb";
        options->transport = value == "usb" ? DemoTransport::USB : DemoTransport::PASS_THROUGH;
    } else if (name == "--fault") {
        ok = ParseFault(value, &options->fault);
    } else if (name == "--transcript") {
        options->transcriptPath = value;
        ok = !value.empty();
    } else if (name == "--restart-ms") {
        ok = Number(value, 600000, &options->restartMs);
    } else {
        *error = "unknown option: " + option;
        return false;
    }
    if (!ok)
        *error = "bad value: " + option;
    return ok;
}

bool DemoParseOptions(const std::vector<std::string>& options, DemoOptions* parsed, std::string* error)
{
    for (const std::string& option : options)
        if (!DemoParseOption(option, parsed, error))
            return false;
    return true;
}

const char* DemoSplitOptions(const char* text, std::vector<std::string>* options)
{
    const char* at = text;
    for (;;) {
        while (*at == ' ' || *at == '\t')
            ++at;
        const char* start = *at == '"' ? at + 1 : at;
        if (start[0] != '-' || start[1] != '-')
            return at;
        std::string token;
        bool quoted = false;
        for (; *at && (quoted || (*at != ' ' && *at != '\t')); ++at) {
            if (*at == '"')
                quoted = !quoted;
            else
                token += *at;
        }
        if (token == "--") {
            while (*at == ' ' || *at == '\t')
                ++at;
            return at;
        }
        options->push_back(token);
    }
}

const char* DemoPlatformName(DemoPlatform platform)
{
    return platform == DemoPlatform::WIN9X ? "Windows 9x" : "Windows NT";
}

const char* DemoTransportName(DemoPlatform platform, DemoTransport transport)
{
    if (transport == DemoTransport::USB)
        return "the vendor USB driver";
    return platform == DemoPlatform::WIN9X ? "the ASPI manager" : "SCSI pass-through";
}
