// What a terminal must be sent to go from the dialog lines it shows to the next ones. Rewriting only
// the lines that changed keeps a running progress bar from clearing and redrawing the whole screen
// ten times a second, which flickers, and costs, over a slow link.
#pragma once

#include <string>
#include <vector>

// The bytes that turn a screen showing `shown` (row 1 down) into one showing `next`: each row whose
// line differs is cleared and written again, and the rows `shown` had below `next` are cleared.
// Nothing when the lines are the same. `whole` clears the screen and draws every line instead: for
// the first frame, and after anything else may have written to the screen (a resize, Ctrl+L).
std::string ScreenUpdate(const std::vector<std::string>& shown, const std::vector<std::string>& next, bool whole);
