// Terminal key decoding: Tab, Shift+Tab and the arrows move the focus, Enter and the space bar press,
// Esc cancels, Ctrl+C and Ctrl+\ ask to close, Ctrl+L redraws, letters (with or without Alt) are
// mnemonics.
#include "ui/tty/key_input.h"

#include <cctype>

namespace {

bool IsMnemonicCharacter(unsigned char c)
{
    return c < 0x80 && std::isalnum(c);
}

}  // namespace

std::vector<Key> DecodeKeys(std::string* pending, bool final)
{
    std::vector<Key> keys;
    std::string& bytes = *pending;
    size_t at = 0;
    while (at < bytes.size()) {
        unsigned char c = static_cast<unsigned char>(bytes[at]);
        if (c != 0x1B) {
            ++at;
            switch (c) {
            case '\t': keys.push_back({Key::NEXT, 0}); break;
            case '\r':
            case '\n': keys.push_back({Key::ENTER, 0}); break;
            case ' ': keys.push_back({Key::SPACE, 0}); break;
            case 0x03:
            case 0x1C: keys.push_back({Key::CLOSE, 0}); break;
            case 0x0C: keys.push_back({Key::REDRAW, 0}); break;
            default:
                if (IsMnemonicCharacter(c))
                    keys.push_back({Key::LETTER, static_cast<char>(c)});
            }
            continue;
        }
        // ESC: alone it is the Esc key; ESC [ or ESC O starts a sequence; ESC and a letter is Alt.
        if (at + 1 >= bytes.size()) {
            if (!final)
                break;
            keys.push_back({Key::ESCAPE, 0});
            ++at;
            continue;
        }
        unsigned char next = static_cast<unsigned char>(bytes[at + 1]);
        if (next == '[' || next == 'O') {
            size_t end = at + 2;
            while (end < bytes.size() && (bytes[end] < 0x40 || bytes[end] > 0x7E))
                ++end;
            if (end >= bytes.size()) {
                if (!final)
                    break;
                at = end;
                continue;
            }
            switch (bytes[end]) {
            case 'Z':
            case 'A':
            case 'D': keys.push_back({Key::PREVIOUS, 0}); break;
            case 'B':
            case 'C': keys.push_back({Key::NEXT, 0}); break;
            }
            at = end + 1;
            continue;
        }
        if (next == 0x1B) {
            keys.push_back({Key::ESCAPE, 0});
            ++at;
            continue;
        }
        if (IsMnemonicCharacter(next))
            keys.push_back({Key::LETTER, static_cast<char>(next)});
        at += 2;
    }
    bytes.erase(0, at);
    return keys;
}
