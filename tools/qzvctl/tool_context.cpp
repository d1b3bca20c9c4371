// The shared steps of the tool's commands.
#include "tool_context.h"

#include "unit/unit_table.h"

bool ArgumentCountIs(ToolContext& context, size_t min, size_t max)
{
    const size_t given = context.arguments.Positional().size() - 1;
    if (given >= min && given <= max)
        return true;
    context.error = context.arguments.Positional()[0] + ": expected " +
                    (min == max ? std::to_string(min) : std::to_string(min) + " to " + std::to_string(max)) +
                    " arguments, got " + std::to_string(given);
    return false;
}

bool SelectUnit(ToolContext& context)
{
    const DWORD count = UnitCount();
    if (count == 0) {
        context.error = "no unit found";
        return false;
    }
    if (context.unit >= count) {
        context.error = "no unit " + std::to_string(context.unit) + ": " + std::to_string(count) +
                        (count == 1 ? " unit is" : " units are") + " attached (0 to " + std::to_string(count - 1) + ")";
        return false;
    }
    return true;
}

ToolResult UnitFailure(ToolContext& context, const std::string& operation, UnitStatus status)
{
    // The unit table holds the host-interface units first, then the vendor-USB units.
    const UnitTable& table = UnitGetTable();
    const bool viaUsb = context.unit >= table.hostCount && context.unit < table.unitCount;
    context.statusSource = viaUsb ? StatusSource::VENDOR_USB : StatusSource::SENSE;
    context.error = operation + " failed: " + StatusLine(status, context.statusSource);
    context.hasStatus = true;
    context.status = status;
    return TOOL_FAILED;
}

ToolResult Failure(ToolContext& context, const std::string& message)
{
    context.error = message;
    return TOOL_FAILED;
}

ToolResult UsageFailure(ToolContext& context, const std::string& message)
{
    context.error = message;
    return TOOL_USAGE;
}

bool NumberArgument(ToolContext& context, const std::string& text, uint64_t max, const std::string& what,
                    uint64_t* value)
{
    std::string error;
    if (ParseNumber(text, max, what, value, &error))
        return true;
    context.error = error;
    return false;
}
