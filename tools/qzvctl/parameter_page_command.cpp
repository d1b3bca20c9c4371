// param-page: reads the unit's parameter page, or changes fields of one group by reading the page,
// changing them and writing it back.
#include <string>
#include <vector>

#include "tool_commands.h"
#include "unit/unit_parameter_page.h"

namespace {

struct FieldOption {
    const char* option;
    DWORD UnitParameterGroup::*field;
    uint64_t max;
};

const FieldOption FIELD_OPTIONS[] = {
    {"--code-a", &UnitParameterGroup::codeA, 0xFF},
    {"--code-b", &UnitParameterGroup::codeB, 0xFF},
    {"--value32", &UnitParameterGroup::value32, 0xFFFFFFFFu},
    {"--value16", &UnitParameterGroup::value16, 0xFFFF},
};

// `valueCut`: group 4's value32 as shown lacks the bit 31 the unit holds (see
// UnitParameterHalvedValueCut).
void AddRecord(ToolContext& context, const UnitParameterRecord& record, DWORD revision, bool valueCut)
{
    context.result.Add("unit", Report::Number(context.unit));
    Report& groups = context.result.Add("groups", Report::List());
    for (DWORD g = 0; g < UNIT_PARAMETER_GROUPS; ++g) {
        const UnitParameterGroup& group = record.groups[g];
        Report& item = groups.Append(Report::Object());
        item.Add("group", Report::Number(g));
        item.Add("codeA", Report::Hex(group.codeA, 2));
        item.Add("codeB", Report::Hex(group.codeB, 2));
        item.Add("value32", Report::Hex(group.value32));
        item.Add("value16", Report::Hex(group.value16, 4));
    }
    context.result.Add("group4HeldHalved",
                       Report::Boolean(UnitParameterGroupHeldHalved(UNIT_PARAMETER_HALVED_GROUP, revision)));
    context.result.Add("group4Value32LacksBit31", Report::Boolean(valueCut));
}

}  // namespace

ToolResult ParameterPageCommand(ToolContext& context)
{
    const std::vector<std::string>& words = context.arguments.Positional();
    if (!ArgumentCountIs(context, 0, 1))
        return TOOL_USAGE;
    const std::string action = words.size() > 1 ? words[1] : "read";
    if (action != "read" && action != "write")
        return UsageFailure(context, "param-page: expected read or write, got '" + action + "'");
    const bool write = action == "write";

    uint64_t group = 0;
    std::vector<std::pair<const FieldOption*, DWORD>> changes;
    if (write) {
        if (!context.arguments.Has("--group"))
            return UsageFailure(context, "param-page write: --group 0..4 is needed");
        if (!NumberArgument(context, context.arguments.Value("--group"), UNIT_PARAMETER_GROUPS - 1, "group", &group))
            return TOOL_USAGE;
        for (const FieldOption& option : FIELD_OPTIONS) {
            uint64_t value = 0;
            if (!context.arguments.Has(option.option))
                continue;
            if (!NumberArgument(context, context.arguments.Value(option.option), option.max, option.option, &value))
                return TOOL_USAGE;
            changes.emplace_back(&option, DWORD(value));
        }
        if (changes.empty())
            return UsageFailure(context, "param-page write: give at least one of --code-a, --code-b, --value32, --value16");
    } else {
        bool fieldGiven = context.arguments.Has("--group");
        for (const FieldOption& option : FIELD_OPTIONS)
            fieldGiven = fieldGiven || context.arguments.Has(option.option);
        if (fieldGiven)
            return UsageFailure(context, "param-page read takes no --group or field options");
    }
    if (!SelectUnit(context))
        return TOOL_FAILED;

    BYTE page[UNIT_PARAMETER_PAGE_LENGTH];
    UnitStatus status = UnitReadParameterPageBytes(context.unit, page);
    if (status != 0)
        return UnitFailure(context, "reading the parameter page", status);
    const DWORD revision = UnitEntryAt(context.unit)->firmwareRevision;
    const bool valueCut = UnitParameterHalvedValueCut(page, revision);
    UnitParameterRecord record = {};
    UnitParameterRecordFromPage(page, revision, &record);
    if (write) {
        bool group4ValueGiven = false;
        for (const auto& change : changes) {
            const bool halvedValue = change.first->field == &UnitParameterGroup::value32 &&
                                     UnitParameterGroupHeldHalved(DWORD(group), revision);
            if (halvedValue && (change.second & 1)) {
                return UsageFailure(context, "this unit holds group 4's value32 in units of two: " +
                                                 std::to_string(change.second) + " is odd and cannot be stored");
            }
            group4ValueGiven = group4ValueGiven || halvedValue;
            record.groups[group].*(change.first->field) = change.second;
        }
        // The whole page is written back: group 4's value would silently lose its bit 31.
        if (valueCut && !group4ValueGiven) {
            return Failure(context, "this unit holds group 4's value32 in units of two and the value it holds has "
                                    "bit 31 set, which cannot be read back; writing the page would change group 4 "
                                    "(give group 4's --value32 to write it anyway)");
        }
        status = UnitWriteParameterPage(context.unit, &record);
        if (status != 0)
            return UnitFailure(context, "writing the parameter page", status);
    }
    AddRecord(context, record, revision, valueCut && !write);
    return TOOL_OK;
}
