// Whole frames and the differences between frames.
#include "ui/tty/screen_update.h"

namespace {

// Cursor to the start of row `row` (from 1).
std::string RowStart(size_t row)
{
    return "\x1b[" + std::to_string(row) + ";1H";
}

}  // namespace

std::string ScreenUpdate(const std::vector<std::string>& shown, const std::vector<std::string>& next, bool whole)
{
    std::string bytes;
    if (whole) {
        bytes = "\x1b[H\x1b[2J";
        for (const std::string& line : next)
            bytes += line + "\n";
        return bytes;
    }
    for (size_t i = 0; i < next.size(); ++i) {
        // The row is cleared before it is written: clearing after a line that fills the row would
        // erase its last character on terminals that keep the cursor on the last column.
        if (i >= shown.size() || shown[i] != next[i])
            bytes += RowStart(i + 1) + "\x1b[2K" + next[i];
    }
    if (shown.size() > next.size())
        bytes += RowStart(next.size() + 1) + "\x1b[J";
    return bytes;
}
