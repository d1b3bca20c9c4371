// list, inquiry and capacity: what the attached units are.
#include <string>
#include <vector>

#include "identity_text.h"
#include "image/firmware_image.h"
#include "tool_commands.h"
#include "unit/unit_blocks.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"

ToolResult ListCommand(ToolContext& context)
{
    if (!ArgumentCountIs(context, 0, 0))
        return TOOL_USAGE;
    const DWORD count = UnitCount();
    const UnitTable& table = UnitGetTable();
    Report& units = context.result.Add("units", Report::List());
    for (DWORD i = 0; i < count; ++i) {
        Report& unit = units.Append(Report::Object());
        unit.Add("index", Report::Number(i));
        unit.Add("transport", Report::Text(i < table.hostCount ? "host" : "usb"));
        DWORD letter = 0;
        if (UnitGetDriveLetter(i, &letter) == 1 && letter >= 'A' && letter <= 'Z')
            unit.Add("drive", Report::Text(std::string(1, char(letter)) + ":"));
        BYTE inquiry[UNIT_INQUIRY_LENGTH] = {};
        const UnitStatus status = UnitInquiry(i, inquiry);
        if (status == 0) {
            AddIdentity(unit, inquiry);
        } else {
            unit.Add("inquiryStatus", Report::Hex(status));
        }
        const DWORD configuration = table.entries[i].configuration;
        unit.Add("configuration", Report::Hex(configuration));
        unit.Add("slot", Report::Number(ImageVersionSlot(configuration)));
    }
    context.result.Add("count", Report::Number(count));
    return TOOL_OK;
}

ToolResult InquiryCommand(ToolContext& context)
{
    if (!ArgumentCountIs(context, 0, 0))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;
    BYTE inquiry[UNIT_INQUIRY_LENGTH] = {};
    const UnitStatus status = UnitInquiry(context.unit, inquiry);
    if (status != 0)
        return UnitFailure(context, "INQUIRY", status);
    context.result.Add("unit", Report::Number(context.unit));
    AddIdentity(context.result, inquiry);
    context.result.Add("deviceType", Report::Hex(inquiry[0] & 0x1F, 2));
    context.result.Add("removable", Report::Boolean((inquiry[1] & 0x80) != 0));
    context.result.Add("data", Report::Dump(std::vector<uint8_t>(inquiry, inquiry + sizeof inquiry), 0));
    return TOOL_OK;
}

ToolResult CapacityCommand(ToolContext& context)
{
    if (!ArgumentCountIs(context, 0, 0))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;
    DWORD capacity[2] = {};
    const UnitStatus status = UnitReadCapacity(context.unit, 0, capacity);
    if (status != 0)
        return UnitFailure(context, "READ CAPACITY(10)", status);
    const uint64_t blocks = uint64_t(capacity[0]) + 1;
    context.result.Add("unit", Report::Number(context.unit));
    context.result.Add("lastBlock", Report::Number(capacity[0]));
    context.result.Add("blockLength", Report::Number(capacity[1]));
    context.result.Add("blocks", Report::Number(blocks));
    context.result.Add("bytes", Report::Number(blocks * capacity[1]));
    return TOOL_OK;
}
