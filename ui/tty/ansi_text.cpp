// On Linux the program's code page is UTF-8: its text is shown as it is (the terminal backend
// sanitises what it draws).
#include "ui/backend.h"

std::string UiTextFromAnsi(const char* text)
{
    return text ? text : "";
}
