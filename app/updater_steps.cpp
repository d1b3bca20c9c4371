// The main dialog's steps: Init (texts, command line, convert-only mode), Probe (privileges, the one
// unit, the image) and the conversion they share.
#include <cstring>

#include "app/image_conversion.h"
#include "app/message_format.h"
#include "app/privileges.h"
#include "app/res/resource.h"
#include "app/unit_image.h"
#include "app/update_download.h"
#include "app/updater_dialog.h"
#include "ui/win_app.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"

namespace {

// INQUIRY data: product identification and product revision level.
const size_t INQUIRY_PRODUCT_OFFSET = 16;
const size_t INQUIRY_REVISION_OFFSET = 32;
// The letter after "QZV-57" in the product identification.
const size_t PRODUCT_LETTER_INDEX = 6;

// The texts LoadMessages loads, in this order; m_preloadedTexts holds them.
const UINT PRELOADED_TEXT_IDS[] = {
    IDS_NEED_ADMINISTRATORS, IDS_READ_FAILED,         IDS_SEEK_FAILED,   IDS_INVALID_FILE_SIZE,
    IDS_INVALID_FIRMWARE,    IDS_NO_UNIT,             IDS_SEVERAL_UNITS, IDS_INQUIRY_FAILED,
    IDS_WRITE_BUFFER_FAILED, IDS_UPDATE_FAILED,       IDS_CONVERTING,    IDS_UPDATE_FINISHED,
};

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
    static_assert(sizeof PRELOADED_TEXT_IDS / sizeof PRELOADED_TEXT_IDS[0] ==
                      sizeof m_preloadedTexts / sizeof m_preloadedTexts[0],
                  "one preloaded text per id");
    for (size_t i = 0; i < sizeof PRELOADED_TEXT_IDS / sizeof PRELOADED_TEXT_IDS[0]; ++i)
        m_preloadedTexts[i] = UiLoadString(PRELOADED_TEXT_IDS[i]);
}

std::string UpdaterDialog::MessageText(UINT id)
{
    for (size_t i = 0; i < sizeof PRELOADED_TEXT_IDS / sizeof PRELOADED_TEXT_IDS[0]; ++i) {
        if (PRELOADED_TEXT_IDS[i] == id)
            return m_preloadedTexts[i];
    }
    return UiLoadString(id);
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
    return CheckUpdatePrivileges(*this);
}

void UpdaterDialog::ProbeStep()
{
    if (!CheckPrivileges()) {
        Stop();
        return;
    }
    if (!UnitLayerOpen()) {
        Show(MessageText(IDS_NO_UNIT), IDS_NO_UNIT);
        Stop();
        return;
    }
    BYTE inquiry[UNIT_INQUIRY_LENGTH];
    DWORD count = 0;
    ProgressResult failure = PROGRESS_NO_UNIT;
    UnitStatus status = 0;
    if (!UpdateCheckUnit(m_unitIndex, UNIT_ONLY_ONE, inquiry, &count, &failure, &status)) {
        ShowUpdateResult(failure, status, *this);
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

    UnitStatus configurationStatus = 0;
    const BYTE* versionText = LoadImageForUnit(m_options.imagePath, m_unitIndex, UnitRevisionFromInquiry(inquiry),
                                               m_image, &m_imageSize, *this, &configurationStatus);
    if (!versionText) {
        CloseAndStop();
        return;
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
    return ConvertImageFile(&m_options, *this);
}
