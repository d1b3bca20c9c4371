// read-blocks and write-blocks: blocks of the card in the unit's slot to and from files.
#include <string>
#include <vector>

#include "data_file.h"
#include "tool_commands.h"
#include "unit/unit_blocks.h"

namespace {

const uint64_t DEFAULT_BLOCK_SIZE = 512;

// --block-size, 2 to 0x10000 (512 when not given).
bool BlockSizeOption(ToolContext& context, DWORD* blockSize)
{
    uint64_t value = DEFAULT_BLOCK_SIZE;
    if (context.arguments.Has("--block-size") &&
        !NumberArgument(context, context.arguments.Value("--block-size"), UNIT_BLOCK_SIZE_MAX, "block size", &value))
        return false;
    if (value < UNIT_BLOCK_SIZE_MIN) {
        context.error = "bad block size " + std::to_string(value) + ": expected 2 to 65536";
        return false;
    }
    *blockSize = DWORD(value);
    return true;
}

// The block range must lie below 2^32 blocks and its bytes within one run's limit.
bool BlockRangeFits(ToolContext& context, uint64_t first, uint64_t count, DWORD blockSize)
{
    if (first + count > 0x100000000ull) {
        context.error = "blocks " + std::to_string(first) + " to " + std::to_string(first + count - 1) +
                        " run past the last addressable block 4294967295 (0xffffffff)";
        return false;
    }
    if (count * blockSize > TOOL_MAX_TRANSFER) {
        context.error = std::to_string(count) + " blocks of " + std::to_string(blockSize) + " bytes exceed the " +
                        std::to_string(TOOL_MAX_TRANSFER) + " bytes one run moves";
        return false;
    }
    return true;
}

void AddTransfer(ToolContext& context, uint64_t first, uint64_t count, DWORD blockSize, const std::string& file)
{
    context.result.Add("unit", Report::Number(context.unit));
    context.result.Add("firstBlock", Report::Number(first));
    context.result.Add("blocks", Report::Number(count));
    context.result.Add("blockSize", Report::Number(blockSize));
    context.result.Add("bytes", Report::Number(count * blockSize));
    context.result.Add("file", Report::Text(file));
}

}  // namespace

ToolResult ReadBlocksCommand(ToolContext& context)
{
    const std::vector<std::string>& words = context.arguments.Positional();
    uint64_t first = 0, count = 0;
    DWORD blockSize = 0;
    if (!ArgumentCountIs(context, 3, 3) || !NumberArgument(context, words[1], 0xFFFFFFFFu, "first block", &first) ||
        !NumberArgument(context, words[2], 0xFFFFFFFFu, "block count", &count) || !BlockSizeOption(context, &blockSize))
        return TOOL_USAGE;
    if (count == 0)
        return UsageFailure(context, "bad block count 0: nothing to read");
    if (!BlockRangeFits(context, first, count, blockSize))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;

    std::vector<uint8_t> data(size_t(count * blockSize));
    const UnitStatus status = UnitReadBlocks(context.unit, DWORD(first), DWORD(count), data.data(), blockSize);
    if (status != 0)
        return UnitFailure(context, "READ(10)", status);
    std::string error;
    if (!WriteDataFile(words[3], data, &error))
        return Failure(context, error);
    AddTransfer(context, first, count, blockSize, words[3]);
    return TOOL_OK;
}

ToolResult WriteBlocksCommand(ToolContext& context)
{
    const std::vector<std::string>& words = context.arguments.Positional();
    uint64_t first = 0;
    DWORD blockSize = 0;
    if (!ArgumentCountIs(context, 2, 2) || !NumberArgument(context, words[1], 0xFFFFFFFFu, "first block", &first) ||
        !BlockSizeOption(context, &blockSize))
        return TOOL_USAGE;
    std::vector<uint8_t> data;
    std::string error;
    if (!ReadDataFile(words[2], TOOL_MAX_TRANSFER, &data, &error))
        return Failure(context, error);
    if (data.empty() || data.size() % blockSize != 0) {
        return UsageFailure(context, "'" + words[2] + "' holds " + std::to_string(data.size()) +
                                         " bytes: expected a nonzero multiple of the block size " +
                                         std::to_string(blockSize));
    }
    const uint64_t count = data.size() / blockSize;
    if (!BlockRangeFits(context, first, count, blockSize))
        return TOOL_USAGE;
    if (!SelectUnit(context))
        return TOOL_FAILED;

    const UnitStatus status = UnitWriteBlocks(context.unit, DWORD(first), DWORD(count), data.data(), blockSize);
    if (status != 0)
        return UnitFailure(context, "WRITE(10)", status);
    AddTransfer(context, first, count, blockSize, words[2]);
    return TOOL_OK;
}
