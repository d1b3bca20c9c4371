// Keys from a terminal in raw mode, decoded from the bytes it sends.
#pragma once

#include <string>
#include <vector>

struct Key {
    enum Kind { LETTER, NEXT, PREVIOUS, ENTER, SPACE, ESCAPE, CLOSE, REDRAW };
    Kind kind;
    char letter;  // LETTER: an ASCII letter or digit, plain or with Alt
};

// Decodes the keys at the start of *pending and removes their bytes. An escape sequence that may
// still be incomplete stays in *pending unless `final` is set (no more bytes came in time), when a
// lone ESC is the Esc key. Bytes that are no key of ours are dropped.
std::vector<Key> DecodeKeys(std::string* pending, bool final);
