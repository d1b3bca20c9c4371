// The texts of the dialog templates (UTF-8), shared by the .rc and the portable templates.
#pragma once

#define QZV_TEXT_ABOUT_CAPTION "バージョン情報"
#define QZV_TEXT_ABOUT_OK "&OK"

#define QZV_TEXT_MAIN_CAPTION "QZV-57x ファームウェア更新"
#define QZV_TEXT_MAIN_WAIT "お待ちください・・・"
#define QZV_TEXT_MAIN_START "開始(&S)"
#define QZV_TEXT_MAIN_QUIT "終了(&Q)"

#define QZV_TEXT_PROGRESS_CAPTION "更新中・・・"
#define QZV_TEXT_PROGRESS_NOTICE "ファームウェアを更新しています・・・\n\nLED が下記の状態になるまでお待ちください。\n    POWER  LED: 赤色点灯\n    STATUS LED: 消灯\n\nQZV-57 だけではなく、他のデバイスの接続および取り外しも行なわないでください。"

#define QZV_TEXT_DIALOG_FONT "FixedSys"
