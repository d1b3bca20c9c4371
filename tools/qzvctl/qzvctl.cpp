// Reading the tool's command line, choosing the units (real ones through the platform's transports,
// or a simulated scenario), running one command and showing what it found.
#include "qzvctl.h"

#include <memory>
#include <set>

#include "argument_list.h"
#include "sim_scenario.h"
#include "status_text.h"
#include "tool_commands.h"
#include "qzv_version.h"
#include "unit/unit_table.h"

namespace {

// A command; an entry without a name only adds a line to the usage text.
struct CommandInfo {
    const char* name;
    ToolResult (*run)(ToolContext&);
    const char* synopsis;
    const char* description;
    std::set<std::string> options;
};

const std::vector<CommandInfo>& Commands()
{
    static const std::vector<CommandInfo> commands = {
        {"list", ListCommand, "list", "the attached units", {}},
        {"inquiry", InquiryCommand, "inquiry", "the unit's INQUIRY data", {}},
        {"capacity", CapacityCommand, "capacity", "READ CAPACITY of the card", {}},
        {"read-blocks", ReadBlocksCommand, "read-blocks LBA COUNT FILE [--block-size N]", "card blocks to a file",
         {"--block-size"}},
        {"write-blocks", WriteBlocksCommand, "write-blocks LBA FILE [--block-size N]", "a file to card blocks",
         {"--block-size"}},
        {"read-memory", ReadMemoryCommand, "read-memory ADDRESS COUNT [FILE] [--even]",
         "unit memory as a hex dump or to a file", {"--even"}},
        {"write-memory", WriteMemoryCommand, "write-memory ADDRESS (FILE | --hex BYTES) [--even]",
         "bytes into unit memory", {"--even", "--hex"}},
        {"param-page", ParameterPageCommand, "param-page [read]", "the parameter page", {"--group", "--code-a",
         "--code-b", "--value32", "--value16"}},
        {nullptr, nullptr, "param-page write --group G [--code-a N] [--code-b N] [--value32 N] [--value16 N]",
         "changes fields of one group", {}},
        {"ata-identify", AtaIdentifyCommand, "ata-identify", "IDENTIFY DEVICE of the card", {}},
        {"plan", PlanCommand, "plan IMAGE [--revision R] [--config N]", "what a download would send, unsent",
         {"--revision", "--config"}},
    };
    return commands;
}

const std::set<std::string> GLOBAL_FLAGS = {"--json", "--help", "--version"};
// The commands' own options that take no value; all others take one.
const std::set<std::string> COMMAND_FLAGS = {"--even"};
const std::set<std::string> GLOBAL_VALUED = {"--unit"};
const uint64_t MAX_UNIT_INDEX = UNIT_MAX - 1;

const char USAGE_HEAD[] =
    "Usage: qzvctl [--json] [--unit N] [scenario options] COMMAND [arguments]\n"
    "  or:  qzvctl --help | --version\n"
    "\n"
    "Runs one command on a QZV-57 unit (unit 0 unless --unit says otherwise). Numbers are decimal or\n"
    "hexadecimal with 0x. --json prints one JSON object instead of text.\n"
    "\n"
    "commands:\n";

const char USAGE_TAIL[] =
    "\n"
    "scenario options (simulated units instead of the attached ones):\n"
    "  --sim  --sim-product P  --sim-revision R  --sim-config N  --sim-platform nt\n"
    "  --sim-units N  --sim-blocks N\n";

std::string Usage()
{
    std::string text = USAGE_HEAD;
    for (const CommandInfo& command : Commands()) {
        std::string line = "  " + std::string(command.synopsis);
        line += line.size() < 54 ? std::string(54 - line.size(), ' ') : "\n" + std::string(54, ' ');
        text += line + command.description + "\n";
    }
    return text + USAGE_TAIL;
}

void Collect(const char* const* names, std::set<std::string>* into)
{
    for (; *names; ++names)
        into->insert(*names);
}

const CommandInfo* FindCommand(const std::string& name)
{
    for (const CommandInfo& command : Commands()) {
        if (command.name && name == command.name)
            return &command;
    }
    return nullptr;
}

// An option given to a command that does not take it.
std::string StrayOption(const ArgumentList& arguments, const CommandInfo& command)
{
    std::set<std::string> allowed = command.options;
    allowed.insert(GLOBAL_FLAGS.begin(), GLOBAL_FLAGS.end());
    allowed.insert(GLOBAL_VALUED.begin(), GLOBAL_VALUED.end());
    Collect(SIM_SCENARIO_FLAGS, &allowed);
    Collect(SIM_SCENARIO_VALUED, &allowed);
    for (const std::string& option : arguments.Options()) {
        if (!allowed.count(option))
            return option;
    }
    return std::string();
}

int Show(bool json, const std::string& name, ToolResult result, const ToolContext* context, const std::string& error,
         std::ostream& out, std::ostream& err)
{
    if (json) {
        Report report = Report::Object();
        report.Add("command", Report::Text(name));
        report.Add("ok", Report::Boolean(result == TOOL_OK));
        if (result == TOOL_OK) {
            report.Add("result", context->result);
        } else {
            report.Add("error", Report::Text(error));
            if (context && context->hasStatus)
                report.Add("status", StatusReport(context->status, context->statusSource));
        }
        out << ReportJson(report) << "\n";
    } else if (result == TOOL_OK) {
        out << ReportText(context->result);
    } else {
        err << "qzvctl: " << error << "\n";
        if (result == TOOL_USAGE)
            err << "run 'qzvctl --help' for the commands and their arguments\n";
    }
    return result;
}

}  // namespace

int QzvctlMain(const std::vector<std::string>& words, std::ostream& out, std::ostream& err, SimScenario* scenario)
{
    std::set<std::string> flags = GLOBAL_FLAGS, valued = GLOBAL_VALUED;
    Collect(SIM_SCENARIO_FLAGS, &flags);
    Collect(SIM_SCENARIO_VALUED, &valued);
    for (const CommandInfo& command : Commands()) {
        for (const std::string& option : command.options)
            (COMMAND_FLAGS.count(option) ? flags : valued).insert(option);
    }

    ArgumentList arguments;
    std::string error;
    const bool parsed = arguments.Parse(words, flags, valued, &error);
    const bool json = arguments.Has("--json");
    const std::string name = arguments.Positional().empty() ? std::string() : arguments.Positional()[0];
    if (!parsed)
        return Show(json, name, TOOL_USAGE, nullptr, error, out, err);
    if (arguments.Has("--help")) {
        out << Usage();
        return TOOL_OK;
    }
    if (arguments.Has("--version")) {
        out << QZV_VERSION_TEXT("qzvctl");
        return TOOL_OK;
    }
    const CommandInfo* command = FindCommand(name);
    if (!command) {
        error = name.empty() ? "no command given" : "unknown command '" + name + "'";
        return Show(json, name, TOOL_USAGE, nullptr, error, out, err);
    }
    const std::string stray = StrayOption(arguments, *command);
    if (!stray.empty())
        return Show(json, name, TOOL_USAGE, nullptr, name + " takes no option " + stray, out, err);

    ToolContext context(arguments);
    uint64_t unit = 0;
    if (arguments.Has("--unit") && !ParseNumber(arguments.Value("--unit"), MAX_UNIT_INDEX, "unit index", &unit, &error))
        return Show(json, name, TOOL_USAGE, nullptr, error, out, err);
    context.unit = DWORD(unit);

    SimScenarioOptions scenarioOptions;
    if (!ReadSimScenarioOptions(arguments, &scenarioOptions, &error))
        return Show(json, name, TOOL_USAGE, nullptr, error, out, err);
    std::unique_ptr<SimScenario> ownScenario;
    if (!scenario && scenarioOptions.enabled) {
        ownScenario.reset(new SimScenario(scenarioOptions));
        scenario = ownScenario.get();
    }
    if (scenario && !scenario->Start(&error))
        return Show(json, name, TOOL_FAILED, nullptr, error, out, err);

    const ToolResult result = command->run(context);
    UnitLayerClose();
    return Show(json, name, result, &context, context.error, out, err);
}
