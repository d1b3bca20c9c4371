// What the Linux program prints for --help, in English and in Japanese (chosen by the locale). Its
// manual pages are made from these texts, so they follow the layout manual-page tools read: a usage
// line, paragraphs, and headings ending in a colon over indented entries.
#pragma once

#define QZV_HELP_EN                                                                                       \
    "Usage: qzvupdate [-c] [-r] [-V] [-W] [IMAGE]\n"                                                      \
    "  or:  qzvupdate --help | --version\n"                                                               \
    "Update the firmware of the one attached QZV-57G or QZV-57H unit.\n"                                  \
    "\n"                                                                                                  \
    "IMAGE is a Motorola S-record file (.mot), which is first converted into a binary image beside it\n" \
    "(same name in lower case, extension .bin), or a binary image. Without IMAGE the image is named\n"    \
    "after the unit: qzv57g.bin or qzv57h.bin in the current folder.\n"                                   \
    "\n"                                                                                                  \
    "The program shows the unit's firmware version and the image's and waits for Start; it then\n"        \
    "downloads the image and waits until the unit restarts. Its messages are in Japanese.\n"              \
    "\n"                                                                                                  \
    "Options:\n"                                                                                          \
    "  -c            convert IMAGE from S-records into a binary image and stop\n"                         \
    "  -r, -V, -W    accepted; they change nothing\n"                                                     \
    "  --help        show this text and exit\n"                                                           \
    "  --version     show the version and exit\n"                                                         \
    "\n"                                                                                                  \
    "A switch may end in + (on) or - (off), as in -c+ or -W-.\n"                                          \
    "\n"                                                                                                  \
    "In a terminal the program draws its dialog: the underlined letters press the buttons (S Start,\n"    \
    "Q Quit), Tab moves between them, Enter presses, A shows the version information. When its input\n"  \
    "is not a terminal it prints each message and reads the buttons' letters as lines (s, q, about);\n"   \
    "the end of the input presses Quit.\n"                                                                \
    "\n"                                                                                                  \
    "Only root can update a unit, and the program needs read and write access to the unit's /dev/sgN\n"   \
    "node (SCSI generic driver).\n"                                                                       \
    "\n"                                                                                                  \
    "Exit status:\n"                                                                                      \
    "  0             the last message reported success: an update or a conversion finished, or Quit\n"   \
    "                was pressed before Start\n"                                                          \
    "  1             anything else\n"

#define QZV_HELP_JA                                                                                       \
    "使用法: qzvupdate [-c] [-r] [-V] [-W] [イメージ]\n"                                                  \
    "または: qzvupdate --help | --version\n"                                                              \
    "接続されている一台の QZV-57G または QZV-57H ユニットのファームウェアを更新します。\n"               \
    "\n"                                                                                                  \
    "イメージには Motorola S レコード ファイル (.mot) またはバイナリ イメージを指定します。\n"            \
    ".mot ファイルは、まず同じフォルダーのバイナリ イメージ (小文字の同じ名前、拡張子 .bin) に\n"        \
    "変換されます。イメージを指定しない場合は、ユニットに合わせて現在のフォルダーの qzv57g.bin\n"       \
    "または qzv57h.bin を使います。\n"                                                                    \
    "\n"                                                                                                  \
    "ユニットとイメージのファームウェア バージョンを表示し、[開始] を待ちます。開始すると\n"              \
    "イメージを転送し、ユニットが再起動するまで待ちます。\n"                                              \
    "\n"                                                                                                  \
    "オプション:\n"                                                                                       \
    "  -c            イメージを S レコードからバイナリ イメージに変換して終了します\n"                    \
    "  -r, -V, -W    受け付けますが、動作は変わりません\n"                                                \
    "  --help        この説明を表示して終了します\n"                                                      \
    "  --version     バージョンを表示して終了します\n"                                                    \
    "\n"                                                                                                  \
    "スイッチの後に + (オン) または - (オフ) を付けることができます (例: -c+、-W-)。\n"                   \
    "\n"                                                                                                  \
    "端末ではダイアログを描画します。下線の文字でボタンを押し (S 開始、Q 終了)、Tab で移動、\n"          \
    "Enter で押し、A でバージョン情報を表示します。入力が端末でない場合は、各メッセージを\n"             \
    "出力し、ボタンの文字を一行ずつ読み取ります (s、q、about)。入力の終わりで [終了] を押します。\n"     \
    "\n"                                                                                                  \
    "ユニットの更新には root 権限と、ユニットの /dev/sgN (SCSI generic ドライバー) の\n"                 \
    "読み書き権限が必要です。\n"                                                                          \
    "\n"                                                                                                  \
    "終了ステータス:\n"                                                                                   \
    "  0             最後のメッセージが成功を示した場合 (更新または変換の終了、\n"                        \
    "                または [開始] の前の [終了])\n"                                                      \
    "  1             それ以外の場合\n"
