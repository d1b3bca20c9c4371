// The Windows program: the updater as a modal Win32 dialog.
#include "app/updater_app.h"
#include "ui/win32/win32_ui.h"

namespace {

UpdaterApp theApp;

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    Win32Ui ui(instance);
    return UiRunApplication(theApp, Win32CommandLineTail());
}
