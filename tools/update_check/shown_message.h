// The texts the updater's message area may show in an update run with a binary image, written out
// here as the user must see them, and a reader that tells which of them a text is.
#pragma once

#include <string>

#include "platform/win32_types.h"

// The dialog's first text, shown until a step replaces it.
enum { SHOWN_WAIT = 0, SHOWN_NONE = -1 };

struct ShownMessage {
    int id = SHOWN_NONE;   // 4002..4013 or 4017, SHOWN_WAIT, or SHOWN_NONE for any other text
    DWORD status = 0;      // 4010 and 4017: the status shown
    std::string current;   // 4011: the unit's version as shown
    std::string image;     // 4011: the image's version as shown
    std::string path;      // 4003: the path named
};

ShownMessage ReadShownMessage(const std::string& text);

// The text of 4011 for two versions (each as the dialog shows it: at most four characters, up to a NUL).
std::string ReadyText(const std::string& current, const std::string& image);
