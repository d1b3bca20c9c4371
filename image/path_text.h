// How this build's system writes paths and switches, and stepping through multibyte text with the
// system's rule. Shared by the command-line parser and the file naming.
#pragma once

#include "platform/system_table.h"

#ifdef _WIN32
// Windows: "\" and "/" separate path components, and both "-" and "/" introduce a switch.
inline bool ImageIsPathSeparator(char c) { return c == '\\' || c == '/'; }
inline bool ImageIsSwitchIntroducer(char c) { return c == '-' || c == '/'; }
#define IMAGE_LOWER_WHOLE_PATH 1
#else
// Linux: every absolute path starts with "/", so only "-" introduces a switch; "/" alone separates
// components, and only the file name of an output path is lowered (the directory is case-sensitive).
inline bool ImageIsPathSeparator(char c) { return c == '/'; }
inline bool ImageIsSwitchIntroducer(char c) { return c == '-'; }
#define IMAGE_LOWER_WHOLE_PATH 0
#endif

// The next character of NUL-terminated text; at the NUL, the NUL itself.
inline char* ImageNextChar(const char* p)
{
    char* next = g_sys.CharNextA(p);
    // A table that does not move forward must not stall a scan.
    return next > p || *p == '\0' ? next : const_cast<char*>(p) + 1;
}

// The start of the last component of path (after the last separator).
const char* ImageFileNamePart(const char* path);

// The extension of path's last component: from its last "." on, dot included; the terminating
// NUL when the component has no dot.
const char* ImageFindExtension(const char* path);
