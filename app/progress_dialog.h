// The progress dialog of the update run. Before it is shown it checks once more that exactly one
// unit answers and hands the image to the unit's download procedure; then it cycles its activity
// bar until a device-change notice is followed by an enumeration that finds no unit, which means
// the unit has left the system to restart. It has no way out for the user: it ends only by itself,
// with one of the ProgressResult codes.
#pragma once

#include "app/update_download.h"
#include "host/host_io.h"
#include "ui/controls.h"
#include "ui/dialog.h"

class ProgressDialog : public Dialog {
public:
    ProgressDialog();
    ~ProgressDialog() override;

    // Runs the update of unit `unitIndex` with `imageSize` bytes of `image` (the buffer must hold
    // one byte more when the size is odd) and returns a ProgressResult (app/update_download.h).
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
