// The update run up to the end of the download, as the progress dialog does it before it shows and
// as the technician's tool does it without a dialog, and the text each way of ending is reported with.
#pragma once

#include "host/host_io.h"
#include "platform/win32_window_types.h"

class MessageArea;

// How an update run ends: the values the progress dialog's ShowModal returns. Any other value (-1:
// the dialog could not be shown) means the run did not take place.
enum ProgressResult {
    PROGRESS_UNIT_LEFT = 0,        // the image was accepted and the unit has left the system
    PROGRESS_NO_UNIT = 1,          // no unit at the start of the run
    PROGRESS_SEVERAL_UNITS = 2,    // more than one unit
    PROGRESS_INQUIRY_FAILED = 3,   // INQUIRY failed; its status goes with it
    PROGRESS_DOWNLOAD_FAILED = 4,  // the download failed; its status goes with it
};

// Which units an update accepts.
enum UnitChoice {
    UNIT_ONLY_ONE,  // exactly one unit must be attached: the dialog's rule
    UNIT_NAMED,     // the caller named the unit by its index; others may be attached
};

// Counts the units afresh (which opens the unit layer when it is closed) and asks unit `unitIndex` for
// its INQUIRY data. True with the 36 bytes in `inquiry` and the count in *count; false with
// *result PROGRESS_NO_UNIT, PROGRESS_SEVERAL_UNITS, or PROGRESS_INQUIRY_FAILED and its *status.
bool UpdateCheckUnit(DWORD unitIndex, UnitChoice choice, BYTE* inquiry, DWORD* count, ProgressResult* result,
                     UnitStatus* status);

// Hands the image to the unit's download procedure and returns its status. An odd *imageSize is made
// even first: the pad is the buffer's next byte, so `image` must hold one byte more.
UnitStatus UpdateDownloadImage(DWORD unitIndex, BYTE* image, LONG* imageSize);

// Shows the text of a run's end: 4012, 4008, 4009, 4010 or 4017 (with the status as 0x%08lx), and 4013
// for any other result.
void ShowUpdateResult(INT_PTR result, UnitStatus status, MessageArea& area);
