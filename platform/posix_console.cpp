// The POSIX console: terminals take UTF-8 as it is.
#include "platform/console.h"

#include <unistd.h>

bool ConsoleInputIsTerminal(void)
{
    return isatty(STDIN_FILENO) == 1;
}

ConsoleUtf8Output::ConsoleUtf8Output() = default;

ConsoleUtf8Output::~ConsoleUtf8Output() = default;
