// The main dialog. It does its work as a chain of steps that it posts to itself with
// WM_UPDATER_STEP: the Init step (version strings, message texts, command line, and in convert-only
// mode the conversion), then the Probe step (privileges, the one attached unit, its INQUIRY data,
// loading and identifying the image). Start then runs the update in the progress dialog. Every
// outcome is shown as a text in the message area; Quit is the only way out.
#pragma once

#include <string>

#include "app/message_area.h"
#include "app/version_strings.h"
#include "image/command_line.h"
#include "image/firmware_image.h"
#include "ui/controls.h"
#include "ui/dialog.h"

#define WM_UPDATER_STEP 0x2340

enum UpdaterStep {
    STEP_INIT = 0,
    STEP_PROBE = 1,
    STEP_DONE = 2,
};

class UpdaterDialog : public Dialog, public MessageArea {
public:
    UpdaterDialog();
    ~UpdaterDialog() override;

    // The id of the last text shown in the message area (0 while it shows the template's text).
    UINT LastShownText() const { return m_lastShownText; }
    // Whether that text reports success: the unit is ready (4011), updated (4012) or, in convert-only
    // mode, the file converted (4016).
    bool LastTextWasSuccess() const;

    // MessageArea: the preloaded texts, or the text loaded now; and the message area's text.
    std::string MessageText(UINT id) override;
    void Show(const std::string& text, UINT id) override;

protected:
    void DoDataExchange(DataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnCancel() override;
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    void OnSysCommand(UINT nID, LPARAM lParam);
    void OnPaint();
    HICON OnQueryDragIcon();
    void OnDestroy();
    LRESULT OnStep(WPARAM wParam, LPARAM lParam);
    void OnStart();
    BOOL CheckPrivileges();

private:
    void InitStep();
    void ProbeStep();
    BOOL ConvertStep();
    void LoadMessages();

    void ShowUsage();
    // Ends the chain: STEP_DONE; the second also closes the unit layer first.
    void Stop();
    void CloseAndStop();

    Button m_quitButton;
    Button m_startButton;
    Static m_messageText;
    HICON m_hIcon;
    VersionStrings m_versionStrings;
    // The preloaded message texts, in the order LoadMessages loads them: 4002, 4004, 4005, 4006,
    // 4007, 4008, 4009, 4010, 4017, 4013, 4014, 4012.
    std::string m_preloadedTexts[12];
    char m_commandLine[IMAGE_COMMAND_LINE_SIZE];
    ImageCommandLine m_options;
    DWORD m_unitIndex;
    BYTE m_image[FIRMWARE_IMAGE_CAPACITY];
    LONG m_imageSize;

    UINT m_lastShownText = 0;
};
