// The Windows console: its input, and its output code page switched to UTF-8 for as long as needed.
#include "platform/console.h"

#include <windows.h>

bool ConsoleInputIsTerminal(void)
{
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

ConsoleUtf8Output::ConsoleUtf8Output()
{
    DWORD mode = 0;
    if (!GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        return;
    const UINT previous = GetConsoleOutputCP();
    if (previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
        m_previousCodePage = previous;
}

ConsoleUtf8Output::~ConsoleUtf8Output()
{
    if (m_previousCodePage != 0)
        SetConsoleOutputCP(m_previousCodePage);
}
