// update IMAGE [--unit N] [--yes] [--timeout S]: the firmware update without a dialog, for technicians
// and for fleet tools that run it on many machines. It takes the updater's own steps, in the
// updater's order: the privilege check, the one unit (or the unit --unit names) and its INQUIRY data,
// the conversion of a .mot image, the image's identification for the unit's revision and version
// slot; then, once confirmed, the unit checked once more, the unit's download procedure and the wait
// for the unit to leave the system to restart, with a time limit of its own. Nothing is sent before
// every check has passed, and a stop requested by a signal before the saving command sends nothing
// more; after the save it still waits for the unit to leave.
#include <cstring>
#include <istream>
#include <vector>

#include "app/image_conversion.h"
#include "app/message_area.h"
#include "app/privileges.h"
#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/unit_image.h"
#include "app/update_download.h"
#include "download_guard.h"
#include "download_plan.h"
#include "identity_text.h"
#include "image_message_words.h"
#include "image/firmware_image.h"
#include "platform/stop_signals.h"
#include "status_text.h"
#include "tool_commands.h"
#include "ui/backend.h"
#include "unit/unit_commands.h"
#include "unit_departure.h"
#include "update_outcome.h"

namespace {

const uint64_t DEFAULT_TIMEOUT_SECONDS = 120;
const uint64_t MAX_TIMEOUT_SECONDS = 3600;

// INQUIRY bytes 8..35: vendor, product and revision, which decide the image and the procedure.
const size_t IDENTITY_OFFSET = 8;
const size_t IDENTITY_LENGTH = 28;
const size_t REVISION_OFFSET = 32;

// The texts of the shared steps, from the program's resources; the last one shown is kept.
class ReportedMessages : public MessageArea {
public:
    std::string MessageText(UINT id) override
    {
        const char* text = ResourceFindString(AppResources(), id);
        return text ? text : "";
    }
    void Show(const std::string& text, UINT id) override
    {
        lastText = text;
        lastId = id;
    }
    void ShowImageMessage(ImageMessage message, const char* path) override
    {
        MessageArea::ShowImageMessage(message, path);
        imageWords = ImageMessageWords(message, path);
    }

    std::string lastText;
    UINT lastId = 0;
    std::string imageWords;  // the image's failure in words
};

class UpdateRun {
public:
    UpdateRun(ToolContext& context, DWORD timeoutSeconds);
    UpdateOutcome Run();
    const UpdateRecord& Record() const { return m_record; }

private:
    bool Probe();
    bool Confirm();
    bool Download();
    void WaitForDeparture();

    bool Fail(UpdateOutcome outcome, const std::string& error);
    bool FailCheck(ProgressResult failure, UnitStatus status, DWORD count);
    bool Stopped(const std::string& when);
    std::string UnitName() const { return "unit " + std::to_string(m_record.unitIndex); }

    ToolContext& m_context;
    UnitChoice m_choice;
    ReportedMessages m_messages;
    UpdateRecord m_record;
    std::vector<char> m_path;
    std::vector<BYTE> m_image;
    LONG m_imageSize = 0;
    size_t m_plannedCommands = 0;
    DWORD m_countBefore = 0;
};

UpdateRun::UpdateRun(ToolContext& context, DWORD timeoutSeconds)
    : m_context(context),
      m_choice(context.arguments.Has("--unit") ? UNIT_NAMED : UNIT_ONLY_ONE),
      m_image(FIRMWARE_IMAGE_CAPACITY)
{
    const std::string& path = context.arguments.Positional()[1];
    m_path.assign(path.begin(), path.end());
    m_path.push_back('\0');
    m_record.image = UiTextFromAnsi(path.c_str());
    m_record.unitIndex = context.unit;
    m_record.timeoutSeconds = timeoutSeconds;
}

UpdateOutcome UpdateRun::Run()
{
    if (Probe() && Confirm() && Download())
        WaitForDeparture();
    // The program's text of this end; the conversion's texts along the way are no end of a run.
    const UINT last = m_messages.lastId;
    if (last != 0 && last != IDS_CONVERTING && last != IDS_CONVERSION_FINISHED) {
        m_record.messageId = last;
        m_record.message = m_messages.lastText;
    }
    return m_record.outcome;
}

bool UpdateRun::Fail(UpdateOutcome outcome, const std::string& error)
{
    m_record.outcome = outcome;
    m_record.error = error;
    return false;
}

bool UpdateRun::FailCheck(ProgressResult failure, UnitStatus status, DWORD count)
{
    ShowUpdateResult(failure, status, m_messages);
    switch (failure) {
    case PROGRESS_SEVERAL_UNITS:
        return Fail(UPDATE_SEVERAL_UNITS,
                    std::to_string(count) + " units are attached: name the one to update with --unit");
    case PROGRESS_INQUIRY_FAILED:
        m_record.hasStatus = true;
        m_record.status = status;
        return Fail(UPDATE_UNIT_FAILED, "INQUIRY failed: " + StatusLine(status));
    default:
        if (count == 0)
            return Fail(UPDATE_NO_UNIT, "no unit found");
        return Fail(UPDATE_NO_UNIT, "no unit " + std::to_string(m_record.unitIndex) + ": " + std::to_string(count) +
                                        (count == 1 ? " unit is" : " units are") + " attached (0 to " +
                                        std::to_string(count - 1) + ")");
    }
}

bool UpdateRun::Stopped(const std::string& when)
{
    m_record.signal = StopSignals::Received();
    ShowUpdateResult(-1, 0, m_messages);
    return Fail(UPDATE_STOPPED, std::string("stopped by ") + StopSignals::Name(m_record.signal) + " " + when);
}

bool UpdateRun::Probe()
{
    if (!CheckUpdatePrivileges(m_messages)) {
        if (m_messages.lastId != IDS_NEED_ADMINISTRATORS)
            return Fail(UPDATE_NOT_PERMITTED, "the system's version cannot be read, so the rights cannot be checked");
        return Fail(UPDATE_NOT_PERMITTED, "updating a unit needs root (Linux) or the Administrators group (Windows)");
    }
    if (!UnitLayerOpen()) {
        ShowUpdateResult(PROGRESS_NO_UNIT, 0, m_messages);
        return Fail(UPDATE_NO_UNIT, "the unit transports do not open: no unit can be reached");
    }
    DWORD count = 0;
    ProgressResult failure = PROGRESS_NO_UNIT;
    UnitStatus status = 0;
    if (!UpdateCheckUnit(m_record.unitIndex, m_choice, m_record.inquiry, &count, &failure, &status))
        return FailCheck(failure, status, count);
    m_record.haveUnit = true;
    m_record.transport = m_record.unitIndex < UnitGetTable().hostCount ? "host" : "usb";
    m_record.versionBefore = VersionText(m_record.inquiry + REVISION_OFFSET);
    const DWORD revision = UnitRevisionFromInquiry(m_record.inquiry);

    ImageCommandLine options = {};
    options.imagePath = m_path.data();
    if (ImageIsMotFile(options.imagePath)) {
        if (!ConvertImageFile(&options, m_messages)) {
            return Fail(UPDATE_IMAGE_REFUSED, "the S-record image cannot be converted into a binary image beside it "
                                              "(a malformed record, or the output cannot be written)");
        }
        m_record.convertedImage = UiTextFromAnsi(options.nameBuffer);
    }
    UnitStatus configurationStatus = 0;
    const BYTE* version = LoadImageForUnit(options.imagePath, m_record.unitIndex, revision, m_image.data(),
                                           &m_imageSize, m_messages, &configurationStatus);
    m_record.configuration = UnitEntryAt(m_record.unitIndex)->configuration;
    if (!version && configurationStatus != 0) {
        m_record.hasStatus = true;
        m_record.status = configurationStatus;
        return Fail(UPDATE_UNIT_FAILED, "the configuration command failed: " + StatusLine(configurationStatus));
    }
    if (!version && m_messages.imageWords.empty())
        return Fail(UPDATE_IMAGE_REFUSED, "the image file cannot be closed after reading");
    if (!version)
        return Fail(UPDATE_IMAGE_REFUSED, m_messages.imageWords);
    m_record.versionAfter = VersionText(version);

    // The procedure's own rules, tried on a recording entry: an image it would refuse is refused here,
    // before the unit is asked anything more.
    const DWORD length = DWORD(m_imageSize) + DWORD(m_imageSize & 1);
    const DownloadPlan plan = PlanDownload(m_image.data(), length, revision);
    if (plan.status != 0) {
        ShowUpdateResult(PROGRESS_DOWNLOAD_FAILED, plan.status, m_messages);
        m_record.hasStatus = true;
        m_record.status = plan.status;
        return Fail(UPDATE_IMAGE_REFUSED, "the download procedure refuses this image: its length field does not "
                                          "match the file, or it is too large for this revision; nothing was sent");
    }
    m_plannedCommands = plan.commands.size();
    // As after the dialog's probe: no unit is held while the update waits for its go-ahead.
    UnitLayerClose();
    return true;
}

bool UpdateRun::Confirm()
{
    if (!m_context.arguments.Has("--yes")) {
        std::ostream& notes = *m_context.notes;
        notes << "qzvctl: update " << UnitName() << " (" << InquiryText(m_record.inquiry + 16, 16) << ", revision "
              << m_record.versionBefore << ") to version " << m_record.versionAfter << " with " << m_record.image
              << ": " << m_plannedCommands
              << (m_plannedCommands == 1 ? " command, which saves.\n" : " commands, the last one saving.\n")
              << "The unit must stay attached and switched on until it has restarted. Update it? [y/N] "
              << std::flush;
        std::string answer;
        const bool answered = m_context.console.input && std::getline(*m_context.console.input, answer);
        if (StopSignals::Received() != 0)
            return Stopped("at the prompt: no WRITE BUFFER command was sent");
        if (!answered || (answer != "y" && answer != "Y" && answer != "yes" && answer != "YES"))
            return Fail(UPDATE_STOPPED, "not confirmed at the prompt: no WRITE BUFFER command was sent");
    }
    if (StopSignals::Received() != 0)
        return Stopped("before the download: no WRITE BUFFER command was sent");
    return true;
}

bool UpdateRun::Download()
{
    BYTE inquiry[UNIT_INQUIRY_LENGTH] = {};
    ProgressResult failure = PROGRESS_NO_UNIT;
    UnitStatus status = 0;
    if (!UpdateCheckUnit(m_record.unitIndex, m_choice, inquiry, &m_countBefore, &failure, &status))
        return FailCheck(failure, status, m_countBefore);
    if (std::memcmp(inquiry + IDENTITY_OFFSET, m_record.inquiry + IDENTITY_OFFSET, IDENTITY_LENGTH) != 0) {
        ShowUpdateResult(PROGRESS_NO_UNIT, 0, m_messages);
        return Fail(UPDATE_NO_UNIT, UnitName() + " is no longer the unit checked: it now reports " +
                                        InquiryText(inquiry + 16, 16) + " at revision " +
                                        VersionText(inquiry + REVISION_OFFSET) + "; nothing was sent");
    }
    // The unit table chose the procedure by the revision the unit gave while it was counted; the image
    // was identified for the one it gives now.
    if (UnitEntryAt(m_record.unitIndex)->firmwareRevision != UnitRevisionFromInquiry(inquiry)) {
        return Fail(UPDATE_UNIT_FAILED, UnitName() + " gave two different revisions while it was counted and "
                                                     "asked again; nothing was sent");
    }
    const GuardedDownload run =
        RunGuardedDownload(m_record.unitIndex, m_image.data(), &m_imageSize, StopSignals::Received);
    m_record.commands = run.sent;
    if (run.stopSignal != 0) {
        return Stopped("after " + std::to_string(run.sent.size()) + " of " + std::to_string(m_plannedCommands) +
                       " commands: nothing more was sent, and the unit did not get the saving command");
    }
    if (run.status != 0) {
        ShowUpdateResult(PROGRESS_DOWNLOAD_FAILED, run.status, m_messages);
        m_record.hasStatus = true;
        m_record.status = run.status;
        return Fail(UPDATE_DOWNLOAD_FAILED, "WRITE BUFFER failed: " + StatusLine(run.status) +
                                                "; the unit did not accept the saving command");
    }
    m_record.saved = true;
    return true;
}

void UpdateRun::WaitForDeparture()
{
    std::ostream& notes = *m_context.notes;
    const std::string limit = std::to_string(m_record.timeoutSeconds) + " s";
    if (!m_context.json)
        notes << "qzvctl: the unit accepted the image and the save; waiting up to " << limit
              << " for it to leave the system to restart\n";
    bool signalNoted = false;
    auto onPoll = [&] {
        if (signalNoted || StopSignals::Received() == 0)
            return;
        signalNoted = true;
        notes << "qzvctl: " << StopSignals::Name(StopSignals::Received())
              << " after the save: still waiting for the unit to leave (at most " << limit
              << " in all); do not switch it off\n";
    };
    m_record.left = WaitForUnitToLeave(m_countBefore, m_record.timeoutSeconds * 1000, onPoll, &m_record.waitedMs);
    m_record.signal = StopSignals::Received();
    if (!m_record.left) {
        Fail(UPDATE_NOT_LEFT, "the unit accepted the image and the save but still answered after " + limit +
                                  ": it may not have restarted; look at its LEDs and switch it off and on");
        return;
    }
    ShowUpdateResult(PROGRESS_UNIT_LEFT, 0, m_messages);
    m_record.outcome = UPDATE_DONE;
    m_record.error.clear();
}

}  // namespace

ToolResult UpdateCommand(ToolContext& context)
{
    if (!ArgumentCountIs(context, 1, 1))
        return TOOL_USAGE;
    uint64_t timeout = DEFAULT_TIMEOUT_SECONDS;
    if (context.arguments.Has("--timeout")) {
        if (!NumberArgument(context, context.arguments.Value("--timeout"), MAX_TIMEOUT_SECONDS, "--timeout", &timeout))
            return TOOL_USAGE;
        if (timeout == 0)
            return UsageFailure(context, "bad --timeout 0: the unit needs time to leave the system; give 1 to 3600 s");
    }
    if (!context.arguments.Has("--yes") && !context.console.inputIsTerminal) {
        return UsageFailure(context, "update: the input is not a terminal, so nobody can confirm the update; "
                                     "give --yes to update without asking");
    }

    StopSignals stopSignals;
    UpdateRun run(context, DWORD(timeout));
    const UpdateOutcome outcome = run.Run();
    context.result = UpdateReport(run.Record());
    context.summary = UpdateSummary(run.Record());
    context.error = run.Record().error;
    context.wholeReport = true;
    context.exitCode = int(outcome);
    return outcome == UPDATE_DONE ? TOOL_OK : TOOL_FAILED;
}
