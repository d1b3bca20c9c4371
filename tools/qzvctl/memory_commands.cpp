// read-memory and write-memory: the unit's word-wide memory space, or with --even its even-address
// space, as a hex dump or to and from files.
#include <string>
#include <vector>

#include "data_file.h"
#include "tool_commands.h"
#include "unit/unit_memory.h"

namespace {

bool EvenSpace(const ToolContext& context)
{
    return context.arguments.Has("--even");
}

// The byte range must end at or below address 0xFFFFFFFF and within one run's limit.
bool MemoryRangeFits(ToolContext& context, uint64_t address, uint64_t count)
{
    if (count == 0) {
        context.error = "bad byte count 0: nothing to transfer";
        return false;
    }
    if (count > TOOL_MAX_TRANSFER) {
        context.error = std::to_string(count) + " bytes exceed the " + std::to_string(TOOL_MAX_TRANSFER) +
                        " bytes one run moves";
        return false;
    }
    if (address + count > 0x100000000ull) {
        context.error = std::to_string(count) + " bytes at address " + Report::HexText(address) +
                        " run past the last address 0xffffffff";
        return false;
    }
    return true;
}

void AddRange(ToolContext& context, uint64_t address, uint64_t count)
{
    context.result.Add("unit", Report::Number(context.unit));
    context.result.Add("space", Report::Text(EvenSpace(context) ? "even" : "word"));
    context.result.Add("address", Report::Hex(address));
    context.result.Add("bytes", Report::Number(count));
}

}  // namespace

ToolResult ReadMemoryCommand(ToolContext& context)
{
    const std::vector<std::string>& words = context.arguments.Positional();
    uint64_t address = 0, count = 0;
    if (!ArgumentCountIs(context, 2, 3) || !NumberArgument(context, words[1], 0xFFFFFFFFu, "address", &address) ||
        !NumberArgument(context, words[2], 0xFFFFFFFFu, "byte count", &count) ||
        !MemoryRangeFits(context, address, count))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;

    std::vector<uint8_t> data(size_t(count), 0);
    const UnitStatus status = EvenSpace(context)
                                  ? UnitReadEvenMemory(context.unit, DWORD(address), DWORD(count), data.data())
                                  : UnitReadMemory(context.unit, DWORD(address), DWORD(count), data.data());
    if (status != 0)
        return UnitFailure(context, EvenSpace(context) ? "reading even memory" : "reading memory", status);
    AddRange(context, address, count);
    if (words.size() == 4) {
        std::string error;
        if (!WriteDataFile(words[3], data, &error))
            return Failure(context, error);
        context.result.Add("file", Report::Text(words[3]));
    } else {
        context.result.Add("data", Report::Dump(data, address));
    }
    return TOOL_OK;
}

ToolResult WriteMemoryCommand(ToolContext& context)
{
    const std::vector<std::string>& words = context.arguments.Positional();
    const bool hexGiven = context.arguments.Has("--hex");
    uint64_t address = 0;
    if (!ArgumentCountIs(context, hexGiven ? 1 : 2, hexGiven ? 1 : 2) ||
        !NumberArgument(context, words[1], 0xFFFFFFFFu, "address", &address))
        return TOOL_USAGE;
    std::vector<uint8_t> data;
    std::string error;
    if (hexGiven) {
        if (!ParseHexBytes(context.arguments.Value("--hex"), &data, &error))
            return UsageFailure(context, error);
    } else if (!ReadDataFile(words[2], TOOL_MAX_TRANSFER, &data, &error)) {
        return Failure(context, error);
    }
    if (!MemoryRangeFits(context, address, data.size()))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;

    const DWORD count = DWORD(data.size());
    const UnitStatus status = EvenSpace(context) ? UnitWriteEvenMemory(context.unit, DWORD(address), count, data.data())
                                                 : UnitWriteMemory(context.unit, DWORD(address), count, data.data());
    if (status != 0)
        return UnitFailure(context, EvenSpace(context) ? "writing even memory" : "writing memory", status);
    AddRange(context, address, count);
    if (!hexGiven)
        context.result.Add("file", Report::Text(words[2]));
    return TOOL_OK;
}
