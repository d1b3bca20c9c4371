// The update's outcomes, its JSON object and its summary.
#include "update_outcome.h"

#include <cstdio>

#include "identity_text.h"
#include "image/firmware_image.h"
#include "platform/stop_signals.h"
#include "status_text.h"

namespace {

struct OutcomeText {
    UpdateOutcome outcome;
    const char* name;
    const char* meaning;
};

const OutcomeText OUTCOMES[] = {
    {UPDATE_DONE, "updated", "the unit saved the image and left the system to restart"},
    {UPDATE_UNIT_FAILED, "unit-failed", "the unit did not answer its INQUIRY or configuration command"},
    {UPDATE_USAGE, "usage", "the command line was wrong, or --yes is missing without a terminal; nothing was sent"},
    {UPDATE_NO_UNIT, "no-unit", "no unit was found, or none with the --unit index"},
    {UPDATE_SEVERAL_UNITS, "several-units", "more than one unit is attached and --unit names none"},
    {UPDATE_IMAGE_REFUSED, "image-refused",
     "the image cannot be read or converted, or does not suit the unit; nothing was sent"},
    {UPDATE_DOWNLOAD_FAILED, "download-failed", "a WRITE BUFFER command failed; the unit did not accept the save"},
    {UPDATE_NOT_LEFT, "not-left", "the unit accepted the save but did not leave the system within --timeout"},
    {UPDATE_NOT_PERMITTED, "not-permitted", "the update needs root (Linux) or the Administrators group (Windows)"},
    {UPDATE_STOPPED, "stopped",
     "a signal (SIGINT, SIGTERM) or the answer at the prompt stopped it before the saving command"},
};

const OutcomeText& Find(UpdateOutcome outcome)
{
    for (const OutcomeText& text : OUTCOMES)
        if (text.outcome == outcome)
            return text;
    return OUTCOMES[UPDATE_USAGE];
}

Report TextOrNone(const std::string& text)
{
    return text.empty() ? Report::None() : Report::Text(text);
}

Report UnitReport(const UpdateRecord& record)
{
    if (!record.haveUnit)
        return Report::None();
    Report unit = Report::Object();
    unit.Add("index", Report::Number(record.unitIndex));
    unit.Add("transport", Report::Text(record.transport));
    AddIdentity(unit, record.inquiry);
    unit.Add("configuration", Report::Hex(record.configuration));
    unit.Add("slot", Report::Number(ImageVersionSlot(record.configuration)));
    return unit;
}

Report CommandsReport(const std::vector<SentCommand>& commands)
{
    Report list = Report::List();
    for (const SentCommand& command : commands) {
        Report& item = list.Append(Report::Object());
        item.Add("cdb", Report::Bytes(command.cdb));
        item.Add("length", Report::Number(command.length));
        item.Add("status", Report::Hex(command.status));
    }
    return list;
}

}  // namespace

const char* UpdateOutcomeName(UpdateOutcome outcome)
{
    return Find(outcome).name;
}

const char* UpdateOutcomeMeaning(UpdateOutcome outcome)
{
    return Find(outcome).meaning;
}

std::string UpdateExitStatusText()
{
    std::string text;
    for (const OutcomeText& outcome : OUTCOMES) {
        char line[48];
        std::snprintf(line, sizeof line, "  %d  %-17s", int(outcome.outcome), outcome.name);
        text += line + std::string(outcome.meaning) + "\n";
    }
    return text;
}

Report UpdateReport(const UpdateRecord& record)
{
    Report report = Report::Object();
    report.Add("command", Report::Text("update"));
    report.Add("ok", Report::Boolean(record.outcome == UPDATE_DONE));
    report.Add("outcome", Report::Text(UpdateOutcomeName(record.outcome)));
    report.Add("exitCode", Report::Number(unsigned(record.outcome)));
    report.Add("image", TextOrNone(record.image));
    report.Add("convertedImage", TextOrNone(record.convertedImage));
    report.Add("unit", UnitReport(record));
    report.Add("versionBefore", TextOrNone(record.versionBefore));
    report.Add("versionAfter", TextOrNone(record.versionAfter));
    report.Add("commands", CommandsReport(record.commands));
    report.Add("saved", Report::Boolean(record.saved));
    report.Add("left", Report::Boolean(record.left));
    report.Add("waitedMs", Report::Number(record.waitedMs));
    report.Add("timeoutSeconds", Report::Number(record.timeoutSeconds));
    report.Add("signal", record.signal ? Report::Text(StopSignals::Name(record.signal)) : Report::None());
    report.Add("status", record.hasStatus ? StatusReport(record.status) : Report::None());
    report.Add("messageId", record.messageId ? Report::Number(record.messageId) : Report::None());
    report.Add("message", record.messageId ? Report::Text(record.message) : Report::None());
    report.Add("error", TextOrNone(record.error));
    return report;
}

std::string UpdateSummary(const UpdateRecord& record)
{
    std::string text;
    if (record.haveUnit) {
        text += "unit " + std::to_string(record.unitIndex) + ": " + InquiryText(record.inquiry + 16, 16) +
                " at revision " + record.versionBefore + ", version slot " +
                std::to_string(ImageVersionSlot(record.configuration)) +
                (record.transport == "usb" ? ", vendor USB driver\n" : ", SCSI host interface\n");
    }
    text += "image: " + record.image;
    if (!record.convertedImage.empty())
        text += ", converted to " + record.convertedImage;
    if (!record.versionAfter.empty())
        text += ", version " + record.versionAfter + " for this unit";
    text += "\n";
    if (!record.commands.empty()) {
        text += "commands sent: " + std::to_string(record.commands.size()) +
                (record.saved ? ", the last one saving\n" : ", the saving command not accepted\n");
    }
    if (record.signal)
        text += std::string("signal: ") + StopSignals::Name(record.signal) + "\n";
    text += "outcome: " + std::string(UpdateOutcomeName(record.outcome)) + " (exit " +
            std::to_string(int(record.outcome)) + "): " + UpdateOutcomeMeaning(record.outcome) + "\n";
    if (record.messageId)
        text += "\n" + record.message + (record.message.empty() || record.message.back() == '\n' ? "" : "\n");
    return text;
}

Report UpdateUsageReport(const std::string& error)
{
    UpdateRecord record;
    record.error = error;
    return UpdateReport(record);
}
