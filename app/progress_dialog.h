// The progress dialog of the update run. Before it is shown it checks once more that exactly one
// unit answers and hands the image to the unit's download procedure; then it cycles its activity
// bar until a device-change notice is followed by an enumeration that finds no unit, which means
// the unit has left the system to restart. It has no way out for the user: it ends only by itself,
// with one of the result codes below.
#pragma once

#include "host/host_io.h"
#include "ui/controls.h"
#include "ui/dialog.h"

// The values ShowModal returns. Any other value (-1: the dialog could not be shown) means the run
// did not take place.
enum ProgressResult {
    PROGRESS_UNIT_LEFT = 0,        // the image was accepted and the unit has left the system
    PROGRESS_NO_UNIT = 1,          // no unit at the start of the run
    PROGRESS_SEVERAL_UNITS = 2,    // more than one unit
    PROGRESS_INQUIRY_FAILED = 3,   // INQUIRY failed; Status() holds its status
    PROGRESS_DOWNLOAD_FAILED = 4,  // the download failed; Status() holds its status
};

class ProgressDialog : public Dialog {
public:
    ProgressDialog();
    ~ProgressDialog() override;

    // Runs the update of unit `unitIndex` with `imageSize` bytes of `image` (the buffer must hold
    // one byte more when the size is odd) and returns a ProgressResult.
    virtual INT_PTR ShowModal(DWORD unitIndex, BYTE* image, LONG imageSize);

    // The status of the command that failed, for PROGRESS_INQUIRY_FAILED and PROGRESS_DOWNLOAD_FAILED.
    UnitStatus Status() const { return m_status; }

protected:
    void DoDataExchange(DataExchange* pDX) override;
    BOOL OnInitDialog() override;
    // The user cannot end the run: Enter, Esc and close requests do nothing.
    void OnOK() override {}
    void OnCancel() override {}
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnTimer(UINT_PTR nIDEvent);
    BOOL OnDeviceChange(UINT nEventType, DWORD_PTR dwData);

private:
    ProgressCtrl m_progress;
    DWORD m_tick = 0;
    UINT_PTR m_timerId = 0;
    DWORD m_unitIndex = 0;
    BYTE* m_image = nullptr;
    LONG m_imageSize = 0;
    UnitStatus m_status = 0;
};
