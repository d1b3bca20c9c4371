// The message texts, as they must stand, and the reader.
#include "tools/update_check/shown_message.h"

#include <map>

namespace {

const char WAIT[] = "お待ちください・・・";
const char CANNOT_OPEN_BEFORE[] = "ファイル ";
const char CANNOT_OPEN_AFTER[] = " を開けません。";
const char INQUIRY_BEFORE[] = "INQUIRY コマンドが 0x";
const char WRITE_BUFFER_BEFORE[] = "WRITE BUFFER コマンドが 0x";
const char STATUS_AFTER[] = " を返しました。";
const char READY_BEFORE[] = "現在の ファームウェア バージョン: ";
const char READY_BETWEEN[] = "\n更新   ファームウェア バージョン: ";
const char READY_AFTER[] =
    "\n\n更新を開始する前に実行中のすべてのアプリケーションを終了してください。\n\n"
    "更新を開始する場合は [開始(S)] をクリックしてください。\n"
    "更新せずに本アプリケーションを終了する場合は [終了(Q)] をクリックしてください。";

const std::map<std::string, int>& WholeTexts()
{
    static const std::map<std::string, int> texts = {
        {WAIT, SHOWN_WAIT},
        {"更新作業には Administrators 特権が必要です。\n\nAdministrators 特権があるアカウントでログオンして実行してください。",
         4002},
        {"ファイルの読み取りに失敗しました。", 4004},
        {"ファイルのシークに失敗しました。", 4005},
        {"無効なファイル サイズです。", 4006},
        {"無効なファームウェア ファイルです。", 4007},
        {"ユニットが見つかりませんでした。\n\nユニットを接続、電源を入れてから起動してください。", 4008},
        {"複数のユニットを検出しました。\n一度に更新可能なユニットは一台です。\n\n一台のユニットを接続して起動してください。",
         4009},
        {"ファームウェアの更新が終了しました。\n\nユニットの電源を一旦切り、再投入してください。\n\n"
         "両 LED が赤色点灯の場合は更新に失敗しています。\n電源再投入後に両 LED が橙色点灯の場合も更新に失敗しています。\n"
         "これらの場合は弊社での修理対応となります。\n\n",
         4012},
        {"ファームウェアの更新に失敗しました。", 4013},
    };
    return texts;
}

bool Cut(const std::string& text, const std::string& before, const std::string& after, std::string* middle)
{
    if (text.size() < before.size() + after.size() || text.compare(0, before.size(), before) != 0 ||
        text.compare(text.size() - after.size(), after.size(), after) != 0)
        return false;
    *middle = text.substr(before.size(), text.size() - before.size() - after.size());
    return true;
}

// Eight lower-case hexadecimal digits, as "0x%08lx" writes a 32-bit status.
bool ReadStatus(const std::string& digits, DWORD* status)
{
    if (digits.size() != 8)
        return false;
    DWORD value = 0;
    for (char c : digits) {
        int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        value = value << 4 | DWORD(digit);
    }
    *status = value;
    return true;
}

}  // namespace

ShownMessage ReadShownMessage(const std::string& text)
{
    ShownMessage shown;
    auto whole = WholeTexts().find(text);
    if (whole != WholeTexts().end()) {
        shown.id = whole->second;
        return shown;
    }
    std::string middle;
    if (Cut(text, INQUIRY_BEFORE, STATUS_AFTER, &middle) && ReadStatus(middle, &shown.status)) {
        shown.id = 4010;
    } else if (Cut(text, WRITE_BUFFER_BEFORE, STATUS_AFTER, &middle) && ReadStatus(middle, &shown.status)) {
        shown.id = 4017;
    } else if (Cut(text, CANNOT_OPEN_BEFORE, CANNOT_OPEN_AFTER, &shown.path)) {
        shown.id = 4003;
    } else if (Cut(text, READY_BEFORE, READY_AFTER, &middle)) {
        // Neither version can hold the separator: each is at most four characters.
        size_t between = middle.find(READY_BETWEEN);
        if (between != std::string::npos) {
            shown.id = 4011;
            shown.current = middle.substr(0, between);
            shown.image = middle.substr(between + sizeof READY_BETWEEN - 1);
        }
    }
    return shown;
}

std::string ReadyText(const std::string& current, const std::string& image)
{
    return READY_BEFORE + current + READY_BETWEEN + image + READY_AFTER;
}
