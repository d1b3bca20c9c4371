// The program's version information, shared by the Windows version resource (English and Japanese
// tables) and the Linux program, which has the English values compiled in. The version itself is the
// project's (qzv_version.h).
#pragma once

#include "qzv_version.h"

#define QZV_EN_COMMENTS "Updates the firmware of QZV-57 PC Card reader/writer units."
#define QZV_EN_COMPANY_NAME "QZV-57 Updater Project"
#define QZV_EN_FILE_DESCRIPTION "QZV-57x Firmware Updater"
#define QZV_EN_FILE_VERSION QZV_VERSION
#define QZV_EN_INTERNAL_NAME "qzvupdate"
#define QZV_EN_LEGAL_COPYRIGHT QZV_COPYRIGHT
#define QZV_EN_LEGAL_TRADEMARKS "No trademarks are claimed."
#define QZV_EN_ORIGINAL_FILENAME "qzvupdate.exe"
#define QZV_EN_PRIVATE_BUILD "none"
#define QZV_EN_PRODUCT_NAME QZV_PRODUCT_NAME
#define QZV_EN_PRODUCT_VERSION QZV_VERSION
#define QZV_EN_SPECIAL_BUILD "none"

#define QZV_JA_COMMENTS "QZV-57 PC カード リーダー/ライターのファームウェアを更新します。"
#define QZV_JA_COMPANY_NAME "QZV-57 アップデータ プロジェクト"
#define QZV_JA_FILE_DESCRIPTION "QZV-57x ファームウェア更新"
#define QZV_JA_FILE_VERSION QZV_VERSION
#define QZV_JA_INTERNAL_NAME "qzvupdate"
#define QZV_JA_LEGAL_COPYRIGHT "Copyright (C) 2026 QZV-57 アップデータ プロジェクト"
#define QZV_JA_LEGAL_TRADEMARKS "商標の主張はありません。"
#define QZV_JA_ORIGINAL_FILENAME "qzvupdate.exe"
#define QZV_JA_PRIVATE_BUILD "なし"
#define QZV_JA_PRODUCT_NAME "QZV-57 ファームウェア アップデータ"
#define QZV_JA_PRODUCT_VERSION QZV_VERSION
#define QZV_JA_SPECIAL_BUILD "なし"
