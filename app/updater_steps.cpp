// The main dialog's steps: Init (texts, command line, convert-only mode), Probe (privileges, the one
// unit, the image) and the conversion they share.
#include <cstring>

#include "app/message_format.h"
#include "app/privileges.h"
#include "app/res/resource.h"
#include "app/updater_dialog.h"
#include "image/mot_convert.h"
#include "platform/system_table.h"
#include "ui/win_app.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"

namespace {

// INQUIRY data: product identification and product revision level.
const size_t INQUIRY_PRODUCT_OFFSET = 16;
const size_t INQUIRY_REVISION_OFFSET = 32;
// The letter after "QZV-57" in the product identification.
const size_t PRODUCT_LETTER_INDEX = 6;

// A four-character field that needs no terminator, shown up to its first NUL.
std::string FieldText(const BYTE* field)
{
    const char* text = reinterpret_cast<const char*>(field);
    size_t length = 0;
    while (length < IMAGE_VERSION_LENGTH && text[length] != '\0')
        ++length;
    return UiTextFromAnsi(std::string(text, length).c_str());
}

}  // namespace

void UpdaterDialog::LoadMessages()
{
    m_needAdministratorsText = UiLoadString(IDS_NEED_ADMINISTRATORS);
    m_readFailedText = UiLoadString(IDS_READ_FAILED);
    m_seekFailedText = UiLoadString(IDS_SEEK_FAILED);
    m_invalidFileSizeText = UiLoadString(IDS_INVALID_FILE_SIZE);
    m_invalidFirmwareText = UiLoadString(IDS_INVALID_FIRMWARE);
    m_noUnitText = UiLoadString(IDS_NO_UNIT);
    m_severalUnitsText = UiLoadString(IDS_SEVERAL_UNITS);
    m_inquiryFailedText = UiLoadString(IDS_INQUIRY_FAILED);
    m_writeBufferFailedText = UiLoadString(IDS_WRITE_BUFFER_FAILED);
    m_updateFailedText = UiLoadString(IDS_UPDATE_FAILED);
    m_convertingText = UiLoadString(IDS_CONVERTING);
    m_updateFinishedText = UiLoadString(IDS_UPDATE_FINISHED);
}

void UpdaterDialog::ShowUsage()
{
    Show(FormatMessageText(UiLoadString(IDS_USAGE),
                           {MessageArgument::Text(UiTextFromAnsi(m_versionStrings.text[VERSION_INTERNAL_NAME]))}),
         IDS_USAGE);
}

void UpdaterDialog::Stop()
{
    PostMessage(WM_UPDATER_STEP, STEP_DONE, 0);
}

void UpdaterDialog::CloseAndStop()
{
    UnitLayerClose();
    Stop();
}

void UpdaterDialog::InitStep()
{
    ReadProgramVersionStrings(&m_versionStrings);
    LoadMessages();
    WinApp* app = UiGetApp();
    ImageCopyCommandLine(m_commandLine, app ? app->m_lpCmdLine : "");

    if (!ImageParseCommandLine(&m_options, m_commandLine)) {
        ShowUsage();
        Stop();
        return;
    }
    if (m_options.switchC) {
        // Convert only, and never a unit. Without a path there is nothing to convert: the usage
        // text says what is missing.
        if (m_options.imagePath)
            ConvertStep();
        else
            ShowUsage();
        Stop();
        return;
    }
    PostMessage(WM_UPDATER_STEP, STEP_PROBE, 0);
}

BOOL UpdaterDialog::CheckPrivileges()
{
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (!g_sys.GetVersionExA(&version))
        return FALSE;
    if (PlatformNeedsAdministrators(version.dwPlatformId) && !IsAdministrator()) {
        Show(m_needAdministratorsText, IDS_NEED_ADMINISTRATORS);
        return FALSE;
    }
    return TRUE;
}

void UpdaterDialog::ProbeStep()
{
    if (!CheckPrivileges()) {
        Stop();
        return;
    }
    if (!UnitLayerOpen()) {
        Show(m_noUnitText, IDS_NO_UNIT);
        Stop();
        return;
    }
    DWORD count = UnitCount();
    if (count != 1) {
        if (count == 0)
            Show(m_noUnitText, IDS_NO_UNIT);
        else
            Show(m_severalUnitsText, IDS_SEVERAL_UNITS);
        CloseAndStop();
        return;
    }

    // Zeroed: a unit may answer with fewer bytes and still report success, and what it did not send
    // must not name the generation, the default image or the version shown.
    BYTE inquiry[UNIT_INQUIRY_LENGTH] = {};
    UnitStatus status = UnitInquiry(m_unitIndex, inquiry);
    if (status != 0) {
        Show(FormatMessageText(m_inquiryFailedText, {MessageArgument::Number(status)}), IDS_INQUIRY_FAILED);
        CloseAndStop();
        return;
    }
    bool newGeneration = UnitRevisionFromInquiry(inquiry) >= UNIT_REVISION_NEW_GENERATION;

    // The product identification only names the default image file; a unit of the new generation
    // takes the images of the 'H' product.
    char product[IMAGE_PRODUCT_ID_LENGTH];
    std::memcpy(product, inquiry + INQUIRY_PRODUCT_OFFSET, sizeof product);
    if (newGeneration)
        product[PRODUCT_LETTER_INDEX] = 'H';
    for (char& c : product)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');

    if (!m_options.imagePath) {
        m_options.imagePath = ImageMakeDefaultName(m_options.nameBuffer, product, sizeof product);
    } else if (ImageIsMotFile(m_options.imagePath) && !ConvertStep()) {
        CloseAndStop();
        return;
    }

    m_imageSize = FIRMWARE_IMAGE_CAPACITY;
    if (ImageLoadFile(m_options.imagePath, m_image, &m_imageSize, *this) != 0) {
        CloseAndStop();
        return;
    }
    const BYTE* versionText = nullptr;
    if (!newGeneration) {
        const BYTE* block = ImageCheckOldLayout(m_image, m_imageSize, *this);
        if (!block) {
            CloseAndStop();
            return;
        }
        versionText = ImageOldVersionText(block);
    } else {
        const BYTE* block = ImageCheckNewLayout(m_image, m_imageSize, *this);
        if (!block) {
            CloseAndStop();
            return;
        }
        DWORD configuration = 0;
        if (UnitReadConfiguration(m_unitIndex, &configuration) != 0) {
            CloseAndStop();
            return;
        }
        versionText = ImageNewVersionText(block, configuration);
    }

    Show(FormatMessageText(UiLoadString(IDS_READY), {MessageArgument::Text(FieldText(inquiry + INQUIRY_REVISION_OFFSET)),
                                                      MessageArgument::Text(FieldText(versionText))}),
         IDS_READY);
    m_startButton.EnableWindow(TRUE);
    UnitLayerClose();
    // Nothing is posted: the chain waits for the user.
}

BOOL UpdaterDialog::ConvertStep()
{
    const char* input = m_options.imagePath;
    ImageConversionName formed = ImageFormConversionName(&m_options);
    MessageArgument inputText = MessageArgument::Text(UiTextFromAnsi(input ? input : ""));
    // An output name that would be the input itself, or that does not fit, is refused before
    // anything is opened; the text still names the output as far as it can be formed.
    if (formed != IMAGE_CONVERSION_NAME_READY) {
        char refused[MAX_PATH] = "";
        if (input && ImageMakeBinName(refused, input, ".bin"))
            ImageLowerOutputName(refused);
        MessageArgument outputText = MessageArgument::Text(UiTextFromAnsi(refused));
        Show(FormatMessageText(UiLoadString(IDS_CONVERSION_FAILED), {inputText, outputText}), IDS_CONVERSION_FAILED);
        return FALSE;
    }
    MessageArgument outputText = MessageArgument::Text(UiTextFromAnsi(m_options.nameBuffer));
    Show(FormatMessageText(m_convertingText, {inputText, outputText}), IDS_CONVERTING);
    if (MotConvertFile(input, m_options.nameBuffer, FIRMWARE_IMAGE_CAPACITY) != MOT_OK) {
        Show(FormatMessageText(UiLoadString(IDS_CONVERSION_FAILED), {inputText, outputText}), IDS_CONVERSION_FAILED);
        return FALSE;
    }
    Show(FormatMessageText(UiLoadString(IDS_CONVERSION_FINISHED), {inputText, outputText}), IDS_CONVERSION_FINISHED);
    m_options.imagePath = m_options.nameBuffer;
    return TRUE;
}
