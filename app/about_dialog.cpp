// The About dialog.
#include "app/about_dialog.h"

#include <string>

#include "app/res/resource.h"
#include "app/text_cut.h"

AboutDialog::AboutDialog() : Dialog(IDD_ABOUTBOX) {}

AboutDialog::~AboutDialog() = default;

INT_PTR AboutDialog::ShowModal(const VersionStrings* strings)
{
    m_versionStrings = strings;
    return DoModal();
}

void AboutDialog::DoDataExchange(DataExchange* pDX)
{
    Dialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_LEGAL_LINE, m_legalLine);
    DDX_Control(pDX, IDC_VERSION_LINE, m_versionLine);
}

BOOL AboutDialog::OnInitDialog()
{
    Dialog::OnInitDialog();
    if (!m_versionStrings)
        return TRUE;
    std::string line = std::string(m_versionStrings->text[VERSION_FILE_DESCRIPTION]) + "  " +
                       m_versionStrings->text[VERSION_FILE_VERSION];
    line.resize(TextCutLength(line.c_str(), line.size(), ABOUT_VERSION_LINE_MAX));
    m_versionLine.SetWindowText(UiTextFromAnsi(line.c_str()));
    m_legalLine.SetWindowText(UiTextFromAnsi(m_versionStrings->text[VERSION_LEGAL_COPYRIGHT]));
    return TRUE;
}
