// The program's dialog templates, strings and icons in portable form, for the backends that do not
// read a Windows resource section (terminal, headless). The Windows backend uses the real resources
// built from the same texts; a test proves that the two agree.
#pragma once

#include <cstddef>

#include "platform/win32_window_types.h"

struct ControlTemplate {
    int id;
    const char* className;  // "Static", "Button" or "msctls_progress32"
    const char* text;       // UTF-8; empty for an icon static, which shows iconId
    UINT iconId;
    short x, y, cx, cy;     // dialog units
    DWORD style;
};

struct DialogTemplate {
    UINT id;
    DWORD style;
    DWORD exStyle;
    short cx, cy;  // dialog units
    const char* caption;
    const char* fontName;
    WORD pointSize;
    BYTE charset;
    const ControlTemplate* controls;
    size_t controlCount;
};

struct StringResource {
    UINT id;
    const char* text;  // UTF-8
};

struct ResourceTable {
    const DialogTemplate* dialogs;
    size_t dialogCount;
    const StringResource* strings;
    size_t stringCount;
    const UINT* icons;
    size_t iconCount;
};

// Null when the table has no such entry.
const DialogTemplate* ResourceFindDialog(const ResourceTable& table, UINT id);
const char* ResourceFindString(const ResourceTable& table, UINT id);
bool ResourceHasIcon(const ResourceTable& table, UINT id);
