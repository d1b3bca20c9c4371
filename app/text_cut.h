// Cutting text of the system code page (UTF-8 on Linux) to a byte limit without splitting a character.
#pragma once

#include <cstddef>

// Bytes of the longest prefix of text, at most `limit` bytes and at most `length` bytes of input (or
// up to its NUL), that ends on a character boundary.
size_t TextCutLength(const char* text, size_t length, size_t limit);

// Copies that prefix into dest (limit + 1 bytes) and terminates it.
void TextCopyCut(char* dest, const char* text, size_t length, size_t limit);
