// Look-ups in a portable resource table.
#include "ui/resources.h"

const DialogTemplate* ResourceFindDialog(const ResourceTable& table, UINT id)
{
    for (size_t i = 0; i < table.dialogCount; ++i)
        if (table.dialogs[i].id == id)
            return &table.dialogs[i];
    return nullptr;
}

const char* ResourceFindString(const ResourceTable& table, UINT id)
{
    for (size_t i = 0; i < table.stringCount; ++i)
        if (table.strings[i].id == id)
            return table.strings[i].text;
    return nullptr;
}

bool ResourceHasIcon(const ResourceTable& table, UINT id)
{
    for (size_t i = 0; i < table.iconCount; ++i)
        if (table.icons[i] == id)
            return true;
    return false;
}
