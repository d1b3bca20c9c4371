// The checks and the download of an update run, and the texts of its ends.
#include "app/update_download.h"

#include <cstring>

#include "app/message_area.h"
#include "app/message_format.h"
#include "app/res/resource.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"

bool UpdateCheckUnit(DWORD unitIndex, UnitChoice choice, BYTE* inquiry, DWORD* count, ProgressResult* result,
                     UnitStatus* status)
{
    *count = UnitCount();
    if (*count == 0 || (choice == UNIT_NAMED && unitIndex >= *count)) {
        *result = PROGRESS_NO_UNIT;
        return false;
    }
    if (choice == UNIT_ONLY_ONE && *count != 1) {
        *result = PROGRESS_SEVERAL_UNITS;
        return false;
    }
    // Zeroed: a unit may answer with fewer bytes and still report success, and what it did not send
    // must not name the generation, the default image or the version shown.
    std::memset(inquiry, 0, UNIT_INQUIRY_LENGTH);
    *status = UnitInquiry(unitIndex, inquiry);
    if (*status != 0) {
        *result = PROGRESS_INQUIRY_FAILED;
        return false;
    }
    return true;
}

UnitStatus UpdateDownloadImage(DWORD unitIndex, BYTE* image, LONG* imageSize)
{
    // The unit takes an even number of bytes; the pad byte is the buffer's next one.
    if (*imageSize & 1)
        ++*imageSize;
    return UnitDownloadFirmware(unitIndex, static_cast<DWORD>(*imageSize), image);
}

void ShowUpdateResult(INT_PTR result, UnitStatus status, MessageArea& area)
{
    UINT id = IDS_UPDATE_FAILED;
    switch (result) {
    case PROGRESS_UNIT_LEFT: id = IDS_UPDATE_FINISHED; break;
    case PROGRESS_NO_UNIT: id = IDS_NO_UNIT; break;
    case PROGRESS_SEVERAL_UNITS: id = IDS_SEVERAL_UNITS; break;
    case PROGRESS_INQUIRY_FAILED: id = IDS_INQUIRY_FAILED; break;
    case PROGRESS_DOWNLOAD_FAILED: id = IDS_WRITE_BUFFER_FAILED; break;
    }
    if (id == IDS_INQUIRY_FAILED || id == IDS_WRITE_BUFFER_FAILED)
        area.Show(FormatMessageText(area.MessageText(id), {MessageArgument::Number(status)}), id);
    else
        area.Show(area.MessageText(id), id);
}
