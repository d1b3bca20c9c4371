// The Linux program: the updater in a terminal (or driven line by line from a script).
#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/updater_app.h"
#include "image/command_line.h"
#include "platform/posix_standard_descriptors.h"
#include "ui/tty/tty_ui.h"

namespace {

UpdaterApp theApp;

}  // namespace

int main(int argc, char** argv)
{
    PosixOpenClosedStandardDescriptors();
    char commandLine[IMAGE_COMMAND_LINE_SIZE];
    ImageJoinArguments(commandLine, argc - 1, argv + 1);
    TtyUi ui(AppResources());
    ui.NameSystemCommand("about", IDM_ABOUTBOX);
    return UiRunApplication(theApp, commandLine);
}
