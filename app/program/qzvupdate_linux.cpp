// The Linux program: the updater in a terminal (or driven line by line from a script).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/res/portable_resources.h"
#include "app/res/program_help_texts.h"
#include "app/res/resource.h"
#include "app/updater_app.h"
#include "image/command_line.h"
#include "platform/posix_standard_descriptors.h"
#include "qzv_version.h"
#include "ui/tty/tty_ui.h"

namespace {

UpdaterApp theApp;

// The language of messages as the C library's locale rules choose it: the first of LC_ALL,
// LC_MESSAGES and LANG that is set.
bool MessagesInJapanese()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(name);
        if (value && *value)
            return std::strncmp(value, "ja", 2) == 0;
    }
    return false;
}

// --help and --version, wherever they stand, are answered before the updater's command line is
// parsed: as switches that parse would refuse them and show the usage message.
bool AnswerInformationOption(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::fputs(QZV_VERSION_TEXT("qzvupdate"), stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(MessagesInJapanese() ? QZV_HELP_JA : QZV_HELP_EN, stdout);
            return true;
        }
    }
    return false;
}

}  // namespace

int main(int argc, char** argv)
{
    PosixOpenClosedStandardDescriptors();
    if (AnswerInformationOption(argc, argv))
        return 0;
    char commandLine[IMAGE_COMMAND_LINE_SIZE];
    ImageJoinArguments(commandLine, argc - 1, argv + 1);
    TtyUi ui(AppResources());
    ui.NameSystemCommand("about", IDM_ABOUTBOX);
    return UiRunApplication(theApp, commandLine);
}
