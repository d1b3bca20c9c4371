// The terminal drawing of a dialog model.
#include "ui/tty/dialog_render.h"

#include <algorithm>

#include "ui/tty/text_width.h"

namespace {

const char* const RESET = "\x1b[0m";
const char* const REVERSE = "\x1b[7m";
const char* const DIM = "\x1b[2m";
const char* const UNDERLINE = "\x1b[4m";
const char* const NO_UNDERLINE = "\x1b[24m";

// A piece of a line: what is written and how many columns it takes.
struct Span {
    std::string text;
    int width;
};

std::string Repeat(const char* piece, int count)
{
    std::string out;
    for (int i = 0; i < count; ++i)
        out += piece;
    return out;
}

// A caption with its "&" markers removed and, when styled, the mnemonic underlined.
Span Caption(const std::string& text, bool styled)
{
    std::string plain = SanitizeForTerminal(CaptionWithoutMarkers(text));
    if (!styled)
        return {plain, DisplayWidth(plain)};
    std::string out;
    bool marked = false;
    for (size_t at = 0; at < text.size();) {
        if (text[at] == '&' && at + 1 < text.size()) {
            ++at;
            bool mnemonic = text[at] != '&' && !marked;
            size_t start = at;
            Utf8Decode(text, &at);
            std::string piece = SanitizeForTerminal(text.substr(start, at - start));
            out += mnemonic ? std::string(UNDERLINE) + piece + NO_UNDERLINE : piece;
            marked = marked || mnemonic;
            continue;
        }
        size_t start = at;
        Utf8Decode(text, &at);
        out += SanitizeForTerminal(text.substr(start, at - start));
    }
    return {out, DisplayWidth(plain)};
}

Span Button(const ModelControl& button, bool focused, bool styled)
{
    Span caption = Caption(button.text, styled);
    std::string body = "[ " + caption.text + " ]";
    if (styled && !button.enabled)
        body = std::string(DIM) + body + RESET;
    else if (styled && focused)
        body = std::string(REVERSE) + body + RESET;
    return {body, caption.width + 4};
}

Span ProgressBar(const ModelControl& bar, int columns)
{
    int filled = 0;
    if (bar.rangeHigh > bar.rangeLow)
        filled = static_cast<int>(static_cast<long long>(bar.position - bar.rangeLow) * columns /
                                  (bar.rangeHigh - bar.rangeLow));
    filled = std::max(0, std::min(columns, filled));
    return {Repeat("█", filled) + Repeat("░", columns - filled), columns};
}

int WidestLine(const std::string& text)
{
    int widest = 0;
    for (const std::string& line : WrapText(SanitizeForTerminal(text), 1 << 20))
        widest = std::max(widest, DisplayWidth(line));
    return widest;
}

bool Shown(const ModelControl& control)
{
    return control.kind == ModelControl::STATIC_TEXT || control.kind == ModelControl::PUSH_BUTTON ||
           control.kind == ModelControl::PROGRESS_BAR;
}

}  // namespace

std::vector<std::string> RenderDialog(const ModelWindow& window, int terminalColumns, bool styled)
{
    std::vector<const ModelControl*> controls;
    for (const ModelControl& control : window.Controls())
        if (Shown(control))
            controls.push_back(&control);
    std::stable_sort(controls.begin(), controls.end(), [](const ModelControl* a, const ModelControl* b) {
        return a->source->y != b->source->y ? a->source->y < b->source->y : a->source->x < b->source->x;
    });

    // The frame is as wide as the template (four dialog units a column) or its widest text, as far
    // as the terminal allows.
    int inner = window.Template().cx / 4;
    for (const ModelControl* control : controls)
        if (control->kind == ModelControl::STATIC_TEXT)
            inner = std::max(inner, WidestLine(control->text));
    inner = std::max(10, std::min(inner, terminalColumns - 4));

    std::vector<std::string> lines;
    auto row = [&](const Span& content) {
        int pad = std::max(0, inner - content.width);
        lines.push_back("│ " + content.text + std::string(static_cast<size_t>(pad), ' ') + " │");
    };

    std::string caption = FitToWidth(SanitizeForTerminal(window.Caption()), inner - 2);
    int captionWidth = DisplayWidth(caption);
    lines.push_back("┌─ " + caption + " " + Repeat("─", inner - captionWidth - 1) + "┐");

    for (size_t i = 0; i < controls.size();) {
        row({"", 0});
        const ModelControl& control = *controls[i];
        if (control.kind == ModelControl::STATIC_TEXT) {
            for (const std::string& line : WrapText(SanitizeForTerminal(control.text), inner))
                row({line, DisplayWidth(line)});
            ++i;
        } else if (control.kind == ModelControl::PROGRESS_BAR) {
            row(ProgressBar(control, inner));
            ++i;
        } else {
            // Buttons on one template row share a terminal row, right-aligned as in the template.
            Span buttons{"", 0};
            short y = control.source->y;
            for (; i < controls.size() && controls[i]->kind == ModelControl::PUSH_BUTTON && controls[i]->source->y == y; ++i) {
                Span button = Button(*controls[i], controls[i]->id == window.FocusId(), styled);
                if (buttons.width > 0) {
                    buttons.text += "  ";
                    buttons.width += 2;
                }
                buttons.text += button.text;
                buttons.width += button.width;
            }
            int indent = std::max(0, inner - buttons.width);
            row({std::string(static_cast<size_t>(indent), ' ') + buttons.text, indent + buttons.width});
        }
    }
    row({"", 0});
    lines.push_back("└" + Repeat("─", inner + 2) + "┘");

    // Moving a window means nothing here; every other entry of the system menu is offered.
    Span footer{"", 0};
    for (const ModelMenuItem& item : window.SystemMenuItems()) {
        if (item.flags != MF_STRING || item.id == SC_MOVE)
            continue;
        Span entry = Caption(item.text, styled);
        footer.text += "  " + entry.text;
        footer.width += 2 + entry.width;
    }
    if (footer.width > 0)
        lines.push_back(footer.text);
    return lines;
}
