// The resource table of the framework tests.
#include "scripted_dialog.h"

namespace {

const ControlTemplate MAIN_CONTROLS[] = {
    {TEST_TEXT, "Static", "待機中", 0, 8, 8, 220, 80, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT},
    {TEST_START, "Button", "開始(&S)", 0, 100, 96, 64, 12, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON},
    {IDOK, "Button", "終了(&Q)", 0, 164, 96, 64, 12, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON},
};

const ControlTemplate PROGRESS_CONTROLS[] = {
    {TEST_TEXT, "Static", "更新しています", 0, 8, 8, 172, 68, WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT},
    {TEST_BAR, "msctls_progress32", "", 0, 8, 84, 172, 8, WS_CHILD | WS_VISIBLE | WS_BORDER},
};

const ControlTemplate CANCEL_CONTROLS[] = {
    {IDCANCEL, "Button", "Cancel", 0, 8, 8, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_DISABLED},
};

const DWORD DIALOG_STYLE = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;

const DialogTemplate DIALOGS[] = {
    {TEST_MAIN_DIALOG, DIALOG_STYLE, 0, 234, 114, "テスト", "FixedSys", 14, 1, MAIN_CONTROLS, 3},
    {TEST_PROGRESS_DIALOG, DIALOG_STYLE, 0, 186, 98, "進行", "FixedSys", 8, 0, PROGRESS_CONTROLS, 2},
    {TEST_CANCEL_DIALOG, WS_POPUP | WS_CAPTION | DS_MODALFRAME, 0, 100, 40, "取消", "FixedSys", 8, 0, CANCEL_CONTROLS, 1},
};

const StringResource STRINGS[] = {{1, "一"}, {2, "two"}};
const UINT ICONS[] = {TEST_ICON};

const ResourceTable TABLE = {DIALOGS, 3, STRINGS, 2, ICONS, 1};

}  // namespace

const ResourceTable& TestResources()
{
    return TABLE;
}
