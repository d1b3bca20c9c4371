// What every transport does alike with its table of unit records: find the record of a unit index,
// and close the handles its records hold.
#pragma once

#include <cstddef>

#include "platform/system_table.h"

// &records[index] when index is below `count`; null with ERROR_FILE_NOT_FOUND otherwise.
template <typename Record>
Record* HostIoRecordAt(Record* records, DWORD count, DWORD index)
{
    if (index >= count) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    return &records[index];
}

// Closes the handle when it is open and clears it.
inline void HostIoCloseHandle(HANDLE* handle)
{
    if (*handle) {
        g_sys.CloseHandle(*handle);
        *handle = nullptr;
    }
}

// Closes the handle `member` of each of the `count` records.
template <typename Record>
void HostIoCloseEach(Record* records, size_t count, HANDLE Record::*member)
{
    for (size_t i = 0; i < count; ++i)
        HostIoCloseHandle(&(records[i].*member));
}
