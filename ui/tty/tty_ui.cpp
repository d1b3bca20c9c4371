// The terminal backend: waiting on the keyboard, the device watch and the timers; drawing; line mode.
#include "ui/tty/tty_ui.h"

#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include "ui/tty/dialog_render.h"
#include "ui/tty/screen_update.h"
#include "ui/tty/terminal_session.h"
#include "ui/tty/text_width.h"

namespace {

// How long the rest of an escape sequence may take to arrive after its ESC.
const DWORD ESCAPE_SEQUENCE_WAIT = 50;

std::string Trimmed(const std::string& text)
{
    size_t begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return "";
    size_t end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

std::string Lowered(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

void WriteAll(int fd, const std::string& text)
{
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t done = write(fd, data, left);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        data += done;
        left -= static_cast<size_t>(done);
    }
}

}  // namespace

TtyUi::TtyUi(const ResourceTable& resources)
    : TtyUi(resources, isatty(0) && isatty(1) ? INTERACTIVE : LINES, 0, 1, 2)
{
}

TtyUi::TtyUi(const ResourceTable& resources, Mode mode, int input, int output, int errors)
    : ModelBackend(resources),
      m_mode(mode),
      m_input(input),
      m_output(output),
      m_errors(errors),
      m_devices(new DeviceNoticeSource())
{
    UiInstallBackend(this);
}

TtyUi::~TtyUi()
{
    m_terminal.reset();
    if (UiBackendInForce() == this)
        UiInstallBackend(nullptr);
}

void TtyUi::NameSystemCommand(const std::string& word, UINT_PTR id)
{
    m_commandWords.emplace_back(Lowered(word), id);
}

DWORD TtyUi::Now()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<DWORD>(static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void TtyUi::WindowShown(ModelWindow& window)
{
    m_shown.insert(&window);
    if (m_mode == INTERACTIVE) {
        if (!m_terminal) {
            m_terminal.reset(new TerminalSession(m_input, m_output));
            m_drawWhole = true;
        }
        // Drawn at once, so that the dialog shows before the work its first step does.
        Draw(window);
        return;
    }
    Print("== " + window.Caption() + " ==");
    for (const ModelControl& control : window.Controls())
        if (control.kind == ModelControl::STATIC_TEXT && !control.text.empty())
            Print(control.text);
}

void TtyUi::WindowClosing(ModelWindow& window)
{
    m_shown.erase(&window);
    m_pressedAtEnd.erase(&window);
    // When the last dialog closes, its final state stays on the screen the program returns to.
    if (m_mode == INTERACTIVE && m_terminal && OpenWindows().size() == 1) {
        std::vector<std::string> lines = RenderDialog(window, m_terminal->Columns(), false);
        m_terminal.reset();
        std::string text;
        for (const std::string& line : lines)
            text += line + "\n";
        WriteAll(m_output, text);
    }
    m_dirty = true;
}

void TtyUi::ItemTextChanged(ModelWindow& window, int id)
{
    const ModelControl* control = window.Find(id);
    if (m_mode == LINES && m_shown.count(&window) && control && control->kind == ModelControl::STATIC_TEXT)
        Print(control->text);
}

void TtyUi::Print(const std::string& text)
{
    std::string clean = SanitizeForTerminal(text);
    if (clean.empty() || clean.back() != '\n')
        clean += '\n';
    WriteAll(m_output, clean);
}

void TtyUi::Complain(const std::string& text)
{
    WriteAll(m_errors, SanitizeForTerminal(text) + "\n");
}

void TtyUi::Draw(ModelWindow& top)
{
    m_dirty = false;
    if (!m_terminal)
        return;
    std::vector<std::string> lines = RenderDialog(top, m_terminal->Columns(), true);
    m_terminal->Write(ScreenUpdate(m_drawn, lines, m_drawWhole));
    m_drawn = std::move(lines);
    m_drawWhole = false;
}

void TtyUi::WaitForInput(ModelWindow& top, DWORD timeout)
{
    // Input already read is handled one key or line at a time, each by the dialog then on top.
    if (!m_keys.empty()) {
        Key key = m_keys.front();
        m_keys.pop_front();
        HandleKey(top, key);
        return;
    }
    if (!m_lines.empty()) {
        std::string line = m_lines.front();
        m_lines.pop_front();
        HandleLine(top, line);
        return;
    }
    // At the end of input each dialog gets IDOK once, when it has it enabled.
    if (m_inputClosed && !m_pressedAtEnd.count(&top) && top.PressButton(IDOK)) {
        m_pressedAtEnd.insert(&top);
        return;
    }
    if (m_mode == INTERACTIVE && m_dirty)
        Draw(top);

    int noticeLimit = m_devices ? m_devices->WaitLimitMs(Now()) : -1;
    if (noticeLimit >= 0)
        timeout = std::min(timeout, static_cast<DWORD>(noticeLimit));
    if (!m_pending.empty())
        timeout = std::min(timeout, ESCAPE_SEQUENCE_WAIT);

    pollfd waits[3];
    nfds_t count = 0;
    int inputAt = -1, devicesAt = -1, resizeAt = -1;
    if (!m_inputClosed) {
        inputAt = static_cast<int>(count);
        waits[count++] = {m_input, POLLIN, 0};
    }
    if (m_devices && m_devices->Descriptor() >= 0) {
        devicesAt = static_cast<int>(count);
        waits[count++] = {m_devices->Descriptor(), POLLIN, 0};
    }
    if (m_terminal && m_terminal->ResizeDescriptor() >= 0) {
        resizeAt = static_cast<int>(count);
        waits[count++] = {m_terminal->ResizeDescriptor(), POLLIN, 0};
    }
    int ready = poll(waits, count, timeout == INFINITE ? -1 : static_cast<int>(timeout));
    std::vector<DWORD> notices;
    if (ready > 0 && devicesAt >= 0 && (waits[devicesAt].revents & POLLIN))
        m_devices->Receive(&notices);
    if (m_devices)
        m_devices->Tick(Now(), &notices);
    for (DWORD notice : notices)
        PostToAllDialogs(WM_DEVICECHANGE, notice, 0);
    if (ready < 0)
        return;
    if (ready == 0) {
        // No more bytes came: a pending ESC is the Esc key.
        if (!m_pending.empty()) {
            std::vector<Key> keys = DecodeKeys(&m_pending, true);
            m_keys.insert(m_keys.end(), keys.begin(), keys.end());
        }
        return;
    }
    if (resizeAt >= 0 && (waits[resizeAt].revents & POLLIN)) {
        m_terminal->DrainResize();
        m_dirty = true;
        m_drawWhole = true;
    }
    // An input descriptor that is not open (POLLNVAL) is read, fails and counts as the end of input.
    if (inputAt >= 0 && (waits[inputAt].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)))
        ReadInput();
}

void TtyUi::ReadInput()
{
    char bytes[512];
    ssize_t got = read(m_input, bytes, sizeof bytes);
    if (got < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (got <= 0) {
        m_inputClosed = true;
        if (m_mode == LINES && !m_pending.empty()) {
            m_lines.push_back(m_pending);
            m_pending.clear();
        }
        return;
    }
    m_pending.append(bytes, static_cast<size_t>(got));
    if (m_mode == INTERACTIVE) {
        std::vector<Key> keys = DecodeKeys(&m_pending, false);
        m_keys.insert(m_keys.end(), keys.begin(), keys.end());
        return;
    }
    for (size_t end; (end = m_pending.find('\n')) != std::string::npos;) {
        m_lines.push_back(m_pending.substr(0, end));
        m_pending.erase(0, end + 1);
    }
}

void TtyUi::HandleKey(ModelWindow& top, const Key& key)
{
    switch (key.kind) {
    case Key::LETTER:
        if (int id = top.ButtonWithMnemonic(key.letter))
            top.PressButton(id);
        else if (UINT_PTR command = top.SystemItemWithMnemonic(key.letter))
            top.ChooseSystemCommand(command);
        break;
    case Key::NEXT: top.MoveFocus(1); break;
    case Key::PREVIOUS: top.MoveFocus(-1); break;
    case Key::ENTER: top.PressDefault(); break;
    case Key::SPACE:
        if (top.FocusId() != 0)
            top.PressButton(top.FocusId());
        break;
    case Key::ESCAPE: top.PressEscape(); break;
    case Key::CLOSE: top.RequestClose(); break;
    case Key::REDRAW:
        m_dirty = true;
        m_drawWhole = true;
        break;
    }
}

void TtyUi::HandleLine(ModelWindow& top, const std::string& line)
{
    std::string word = Lowered(Trimmed(line));
    if (word.empty())
        return;
    for (const auto& named : m_commandWords) {
        if (named.first == word) {
            if (!top.ChooseSystemCommand(named.second))
                Complain("not available now: " + word);
            return;
        }
    }
    if (word == "esc") {
        top.PressEscape();
    } else if (word == "close") {
        top.RequestClose();
    } else if (word == "enter") {
        if (!top.PressDefault())
            Complain("not available now: " + word);
    } else if (word.size() == 1 && top.ButtonWithMnemonic(word[0])) {
        if (!top.PressButton(top.ButtonWithMnemonic(word[0])))
            Complain("not available now: " + word);
    } else if (word.size() == 1 && top.SystemItemWithMnemonic(word[0])) {
        top.ChooseSystemCommand(top.SystemItemWithMnemonic(word[0]));
    } else {
        Complain("unknown input: " + word);
    }
}
