// UTF-8 text as a terminal shows it: display widths (East Asian wide characters take two columns),
// sanitising (control characters and broken sequences never reach the terminal) and wrapping.
#pragma once

#include <string>
#include <vector>

// Decodes the UTF-8 character at text[*at] and advances *at; a broken sequence gives U+FFFD and
// advances by one byte.
char32_t Utf8Decode(const std::string& text, size_t* at);
void Utf8Append(std::string* text, char32_t code);

// Columns of one character: 0 (combining), 1 or 2.
int CharacterWidth(char32_t code);
int DisplayWidth(const std::string& text);

// Text fit for the terminal: tabs become blanks, other control characters (line feeds excepted)
// become "?", broken UTF-8 becomes U+FFFD.
std::string SanitizeForTerminal(const std::string& text);

// Splits sanitised text at its line feeds and wraps each line to `columns` display columns
// (character by character; a wide character never straddles the edge). Trailing empty lines are
// dropped.
std::vector<std::string> WrapText(const std::string& text, int columns);

// The first characters of text that fit in `columns`.
std::string FitToWidth(const std::string& text, int columns);
