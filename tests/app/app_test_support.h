// Shared pieces of the application tests: the headless backend with the program's resources, the
// application run with a command line, files in the scratch folder, and S-record text.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/res/portable_resources.h"
#include "app/res/resource.h"
#include "app/updater_app.h"
#include "ui/headless/headless_ui.h"
#include "unit/unit_table.h"

// The texts as they must stand, written out here rather than taken from the program.
#define USAGE_TEXT_FOR(name)                                                                          \
    "使用法\n    " name " <入力ファイル>\n\nパラメータ\n    <入力ファイル>      ファームウェア イメージ\n" \
    "                        ファイルのパスを指定します。\n                        *.mot または *.bin。\n"
#define CONVERTING_TEXT(in, out) ".mot から .bin へ変換しています・・・\n    入力ファイル: " in "\n    出力ファイル: " out "\n"
#define CONVERSION_FAILED_TEXT(in, out) \
    ".mot から .bin への変換に失敗しました。\n    入力ファイル: " in "\n    出力ファイル: " out "\n"
#define CONVERSION_FINISHED_TEXT(in, out) \
    ".mot から .bin への変換が終了しました。\n    入力ファイル: " in "\n    出力ファイル: " out "\n"
#define NO_UNIT_TEXT "ユニットが見つかりませんでした。\n\nユニットを接続、電源を入れてから起動してください。"
#define NEED_ADMINISTRATORS_TEXT \
    "更新作業には Administrators 特権が必要です。\n\nAdministrators 特権があるアカウントでログオンして実行してください。"
#define WAIT_TEXT "お待ちください・・・"

// S-record text of `data` at `address` (S1 records of 16 bytes) with a header and an S9 end.
std::string MotText(const std::vector<unsigned char>& data, unsigned address = 0);
void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool FileExists(const std::string& path);
void RemoveFile(const std::string& path);

// The updater on the headless backend. Run waits for the program to wait for the user, records
// what the main dialog shows then, and presses Quit; tests that interact queue their own steps with
// ui.WhenIdle and call UiRunApplication themselves.
class UpdaterRun : public ::testing::Test {
protected:
    UpdaterRun();
    ~UpdaterRun() override;
    // The unit layer is process-wide: every test leaves it closed.
    void TearDown() override;

    // The exit status.
    int Run(const char* commandLine);
    // The last text of the message area (the template's text when none was set).
    std::string Last() const { return shown.empty() ? WAIT_TEXT : shown.back(); }

    HeadlessUi ui;
    UpdaterApp app;
    // When the program first waited: every text set in the message area, in order, and the buttons.
    std::vector<std::string> shown;
    bool startEnabled = false;
    bool quitEnabled = false;
    int focus = 0;
};
