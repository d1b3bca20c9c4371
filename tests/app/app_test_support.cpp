// The application tests' shared pieces.
#include "app_test_support.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

std::string MotText(const std::vector<unsigned char>& data, unsigned address)
{
    std::string text = "S00600004844521B\n";
    for (size_t at = 0; at < data.size(); at += 16) {
        size_t count = std::min<size_t>(16, data.size() - at);
        unsigned where = address + static_cast<unsigned>(at);
        unsigned sum = static_cast<unsigned>(count + 3) + (where >> 8) + (where & 0xFF);
        char piece[16];
        std::snprintf(piece, sizeof piece, "S1%02X%04X", static_cast<unsigned>(count + 3), where);
        text += piece;
        for (size_t i = 0; i < count; ++i) {
            std::snprintf(piece, sizeof piece, "%02X", data[at + i]);
            text += piece;
            sum += data[at + i];
        }
        std::snprintf(piece, sizeof piece, "%02X\n", ~sum & 0xFF);
        text += piece;
    }
    return text + "S9030000FC\n";
}

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Looks without opening: opening a pipe would wait for a writer.
bool FileExists(const std::string& path)
{
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

void RemoveFile(const std::string& path)
{
    std::remove(path.c_str());
}

UpdaterRun::UpdaterRun() : ui(AppResources()) {}

UpdaterRun::~UpdaterRun() = default;

void UpdaterRun::TearDown()
{
    UnitLayerClose();
}

int UpdaterRun::Run(const char* commandLine)
{
    ui.WhenIdle([this](HeadlessUi& u) {
        EXPECT_EQ(static_cast<UINT>(IDD_UPDATER_DIALOG), u.TopTemplate());
        shown = u.TextHistory(IDC_MESSAGE_TEXT);
        startEnabled = u.IsEnabled(IDC_START_BUTTON);
        quitEnabled = u.IsEnabled(IDOK);
        focus = u.Focus();
        EXPECT_TRUE(u.Click(IDOK));
    });
    int status = UiRunApplication(app, commandLine);
    EXPECT_FALSE(ui.Stalled());
    return status;
}
