// Draws a dialog model as text lines for a terminal: a frame with the caption, the static texts with
// their line feeds (wrapped to the frame), the push buttons of a row side by side (focused: reverse,
// disabled: dim, mnemonic underlined), progress bars, and below the frame the system-menu entries
// that a key reaches. Without styling the same lines come out as plain text.
#pragma once

#include <string>
#include <vector>

#include "ui/model_window.h"

std::vector<std::string> RenderDialog(const ModelWindow& window, int terminalColumns, bool styled);
