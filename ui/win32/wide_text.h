// UTF-8 and UTF-16 for the Unicode window APIs, so that the Japanese texts show on any Windows locale.
#pragma once

#include <string>

std::wstring WideFromUtf8(const std::string& text);
std::string Utf8FromWide(const wchar_t* text, int length);
