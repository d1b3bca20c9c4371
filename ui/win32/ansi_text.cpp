// Text of the ANSI code page, as the A functions return it, converted for the Unicode dialogs.
#include <windows.h>

#include <cstring>
#include <vector>

#include "ui/backend.h"
#include "ui/win32/wide_text.h"

std::string UiTextFromAnsi(const char* text)
{
    if (!text || !*text)
        return std::string();
    int length = static_cast<int>(std::strlen(text));
    int wide = MultiByteToWideChar(CP_ACP, 0, text, length, nullptr, 0);
    if (wide <= 0)
        return std::string();
    std::vector<wchar_t> buffer(static_cast<size_t>(wide));
    MultiByteToWideChar(CP_ACP, 0, text, length, buffer.data(), wide);
    return Utf8FromWide(buffer.data(), wide);
}
