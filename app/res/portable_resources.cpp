// The portable twin of qzvupdate.rc. Geometry and styles are written out as in the .rc; the texts
// come from the headers the .rc includes.
#include "app/res/portable_resources.h"

#include "app/res/dialog_texts.h"
#include "app/res/resource.h"

namespace {

const ControlTemplate ABOUT_CONTROLS[] = {
    {-1, "Static", "", IDR_MAINFRAME, 8, 8, 20, 20, 0x50000003},
    {IDC_VERSION_LINE, "Static", "", 0, 32, 8, 224, 8, 0x50020080},
    {IDC_LEGAL_LINE, "Static", "", 0, 32, 24, 223, 8, 0x50020000},
    {IDOK, "Button", QZV_TEXT_ABOUT_OK, 0, 100, 40, 56, 12, 0x50030001},
};

const ControlTemplate MAIN_CONTROLS[] = {
    {IDC_MESSAGE_TEXT, "Static", QZV_TEXT_MAIN_WAIT, 0, 8, 8, 220, 80, 0x50020000},
    {IDC_START_BUTTON, "Button", QZV_TEXT_MAIN_START, 0, 100, 96, 64, 12, 0x50010000},
    {IDOK, "Button", QZV_TEXT_MAIN_QUIT, 0, 164, 96, 64, 12, 0x50010001},
};

const ControlTemplate PROGRESS_CONTROLS[] = {
    {-1, "Static", QZV_TEXT_PROGRESS_NOTICE, 0, 8, 8, 172, 68, 0x50020000},
    {IDC_PROGRESS_BAR, "msctls_progress32", "", 0, 8, 84, 172, 8, 0x50800000},
};

const DialogTemplate DIALOGS[] = {
    {IDD_ABOUTBOX, 0x80C800C0, 0, 258, 58, QZV_TEXT_ABOUT_CAPTION, QZV_TEXT_DIALOG_FONT, 8, 0, ABOUT_CONTROLS,
     sizeof ABOUT_CONTROLS / sizeof ABOUT_CONTROLS[0]},
    {IDD_UPDATER_DIALOG, 0x90C800C0, 0x00040000, 234, 114, QZV_TEXT_MAIN_CAPTION, QZV_TEXT_DIALOG_FONT, 14, 1,
     MAIN_CONTROLS, sizeof MAIN_CONTROLS / sizeof MAIN_CONTROLS[0]},
    {IDD_PROGRESS_DIALOG, 0x80C800C0, 0, 186, 98, QZV_TEXT_PROGRESS_CAPTION, QZV_TEXT_DIALOG_FONT, 8, 0,
     PROGRESS_CONTROLS, sizeof PROGRESS_CONTROLS / sizeof PROGRESS_CONTROLS[0]},
};

#define QZV_MESSAGE(id, text) {id, text},
const StringResource STRINGS[] = {
#include "app/res/message_texts.inc"
};
#undef QZV_MESSAGE

const UINT ICONS[] = {IDR_MAINFRAME};

const ResourceTable RESOURCES = {
    DIALOGS, sizeof DIALOGS / sizeof DIALOGS[0], STRINGS, sizeof STRINGS / sizeof STRINGS[0], ICONS, 1,
};

}  // namespace

const ResourceTable& AppResources(void)
{
    return RESOURCES;
}
