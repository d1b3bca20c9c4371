// plan: what a download of an image to a unit would send, command by command, with nothing sent.
// The image is loaded and identified as the updater does it, for the unit's revision (or --revision)
// and configuration (or --config), and then handed to the unit's own download procedure running
// against a recording entry.
#include <cstring>
#include <string>
#include <vector>

#include "download_plan.h"
#include "identity_text.h"
#include "image_message_words.h"
#include "image/firmware_image.h"
#include "status_text.h"
#include "tool_commands.h"

namespace {

// Collects the image operations' message in words.
class PlanMessages : public ImageMessageSink {
public:
    void ShowImageMessage(ImageMessage message, const char* path) override { text = ImageMessageWords(message, path); }

    std::string text = "the image cannot be used";
};

DWORD BigEndian32(const uint8_t* bytes)
{
    return DWORD(bytes[0]) << 24 | DWORD(bytes[1]) << 16 | DWORD(bytes[2]) << 8 | DWORD(bytes[3]);
}

std::string RevisionText(DWORD revision)
{
    std::string text;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = char(revision >> shift);
        text += c >= 0x20 && c < 0x7F ? c : '.';
    }
    return text;
}

// The revision and configuration to plan for: from the options, else from the addressed unit.
bool PlanTarget(ToolContext& context, DWORD* revision, DWORD* configuration, ToolResult* result)
{
    const bool revisionGiven = context.arguments.Has("--revision");
    if (revisionGiven) {
        const std::string text = context.arguments.Value("--revision");
        if (text.size() != 4) {
            context.error = "bad --revision '" + text + "': expected exactly 4 characters, such as 1.99";
            *result = TOOL_USAGE;
            return false;
        }
        *revision = BigEndian32(reinterpret_cast<const uint8_t*>(text.data()));
    }
    uint64_t value = 0;
    if (context.arguments.Has("--config")) {
        if (!NumberArgument(context, context.arguments.Value("--config"), 0xFFFFFFFFu, "--config", &value)) {
            *result = TOOL_USAGE;
            return false;
        }
        *configuration = DWORD(value);
    }
    // With a revision given, the plan needs no unit: the configuration is --config's or 0.
    if (revisionGiven)
        return true;
    if (!SelectUnit(context)) {
        *result = TOOL_FAILED;
        return false;
    }
    const UnitEntry* entry = UnitEntryAt(context.unit);
    *revision = entry->firmwareRevision;
    if (!context.arguments.Has("--config"))
        *configuration = entry->configuration;
    return true;
}

Report PlannedCommandReport(size_t index, const PlannedCommand& command)
{
    Report report = Report::Object();
    report.Add("index", Report::Number(index));
    report.Add("cdb", Report::Bytes(command.cdb));
    report.Add("direction", Report::Text(command.direction == UnitDataOut  ? "out"
                                         : command.direction == UnitDataIn ? "in"
                                                                           : "none"));
    report.Add("length", Report::Number(command.length));
    if (command.fromImage)
        report.Add("imageOffset", Report::Hex(command.imageOffset));
    else if (!command.data.empty())
        report.Add("data", Report::Bytes(command.data));
    return report;
}

}  // namespace

ToolResult PlanCommand(ToolContext& context)
{
    if (!ArgumentCountIs(context, 1, 1))
        return TOOL_USAGE;
    const std::string path = context.arguments.Positional()[1];
    DWORD revision = 0, configuration = 0;
    ToolResult targetResult = TOOL_OK;
    if (!PlanTarget(context, &revision, &configuration, &targetResult))
        return targetResult;

    std::vector<BYTE> image(FIRMWARE_IMAGE_CAPACITY);
    LONG size = FIRMWARE_IMAGE_CAPACITY;
    PlanMessages messages;
    if (ImageLoadFile(path.c_str(), image.data(), &size, messages) != 0)
        return Failure(context, messages.text);
    const bool newGeneration = revision >= UNIT_REVISION_NEW_GENERATION;
    const BYTE* block = newGeneration ? ImageCheckNewLayout(image.data(), size, messages)
                                      : ImageCheckOldLayout(image.data(), size, messages);
    if (!block)
        return Failure(context, messages.text);
    const BYTE* version = newGeneration ? ImageNewVersionText(block, configuration) : ImageOldVersionText(block);

    // An odd file length is sent with the pad byte the loader left after it (0xFF).
    const DWORD length = DWORD(size) + DWORD(size & 1);
    const DownloadPlan plan = PlanDownload(image.data(), length, revision);
    if (plan.status != 0) {
        return Failure(context, "the download procedure refuses this image (" + DescribeStatus(plan.status).hex +
                                    "): it is too large for this revision, or its length field does not match the file");
    }

    Report& result = context.result;
    result.Add("image", Report::Text(path));
    result.Add("fileLength", Report::Number(DWORD(size)));
    result.Add("sentLength", Report::Number(length));
    result.Add("revision", Report::Text(RevisionText(revision)));
    result.Add("generation", Report::Text(newGeneration ? "new (1.99 or later)" : "old (below 1.99)"));
    if (newGeneration)
        result.Add("slot", Report::Number(ImageVersionSlot(configuration)));
    result.Add("version", Report::Text(VersionText(version)));
    if (newGeneration && !plan.commands.empty() && plan.commands[0].data.size() == 8) {
        Report& header = result.Add("header", Report::Object());
        header.Add("length", Report::Hex(BigEndian32(plan.commands[0].data.data())));
        header.Add("crc", Report::Hex(BigEndian32(plan.commands[0].data.data() + 4)));
    }
    Report& commands = result.Add("commands", Report::List());
    for (size_t i = 0; i < plan.commands.size(); ++i)
        commands.Append(PlannedCommandReport(i, plan.commands[i]));
    result.Add("sent", Report::Boolean(false));
    return TOOL_OK;
}
