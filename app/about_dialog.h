// The About dialog, opened from the main dialog's system menu: the program's description and version
// on one line, its copyright on the next. OK, Esc and Close all end it.
#pragma once

#include "app/version_strings.h"
#include "ui/controls.h"
#include "ui/dialog.h"

// The version line holds at most this many bytes (of the ANSI code page).
enum { ABOUT_VERSION_LINE_MAX = 263 };

class AboutDialog : public Dialog {
public:
    AboutDialog();
    ~AboutDialog() override;

    // Shows `strings` (not owned) and returns the DoModal result.
    INT_PTR ShowModal(const VersionStrings* strings);

protected:
    void DoDataExchange(DataExchange* pDX) override;
    BOOL OnInitDialog() override;

private:
    Static m_legalLine;
    Static m_versionLine;
    const VersionStrings* m_versionStrings = nullptr;
};
