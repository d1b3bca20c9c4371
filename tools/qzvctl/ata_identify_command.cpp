// ata-identify: the card's IDENTIFY DEVICE data through the ATA register pass-through.
#include <cstdio>
#include <string>

#include "tool_commands.h"
#include "unit/unit_ata.h"

namespace {

const BYTE ATA_STATUS_ERR = 0x01;

// An ATA string: two characters per word, the first in the high byte; blanks around it cut.
std::string AtaString(const BYTE* identify, unsigned firstWord, unsigned words)
{
    std::string text;
    for (unsigned w = firstWord; w < firstWord + words; ++w) {
        for (const BYTE byte : {identify[2 * w + 1], identify[2 * w]})
            text += byte >= 0x20 && byte < 0x7F ? char(byte) : ' ';
    }
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

ToolResult AtaIdentifyCommand(ToolContext& context)
{
    if (!ArgumentCountIs(context, 0, 0))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;
    UnitAtaGeometry geometry = {};
    UnitAtaIdentifyData details = {};
    const UnitStatus status = UnitAtaIdentify(context.unit, &geometry, &details);
    if (status != 0)
        return UnitFailure(context, "IDENTIFY DEVICE", status);
    const BYTE ataStatus = details.readBack.registers[UNIT_ATA_COMMAND];
    const BYTE ataError = details.readBack.registers[UNIT_ATA_FEATURES];
    // The pass-through succeeds even when the card refuses the command; its registers tell.
    if (ataStatus & ATA_STATUS_ERR) {
        char message[96];
        std::snprintf(message, sizeof message,
                      "the card refused IDENTIFY DEVICE: ATA status 0x%02X, error 0x%02X", ataStatus, ataError);
        return Failure(context, message);
    }
    context.result.Add("unit", Report::Number(context.unit));
    context.result.Add("model", Report::Text(AtaString(details.identify, 27, 20)));
    context.result.Add("serial", Report::Text(AtaString(details.identify, 10, 10)));
    context.result.Add("firmware", Report::Text(AtaString(details.identify, 23, 4)));
    context.result.Add("totalSectors", Report::Number(geometry.totalSectors));
    context.result.Add("cylinders", Report::Number(geometry.cylinders));
    context.result.Add("heads", Report::Number(geometry.heads));
    context.result.Add("sectorsPerTrack", Report::Number(geometry.sectorsPerTrack));
    context.result.Add("ataStatus", Report::Hex(ataStatus, 2));
    return TOOL_OK;
}
