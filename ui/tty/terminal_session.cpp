// Raw mode, the alternate screen, resize notices and restoring the terminal on every way out.
#include "ui/tty/terminal_session.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const char ENTER_SCREEN[] = "\x1b[?1049h\x1b[?25l";
const char LEAVE_SCREEN[] = "\x1b[0m\x1b[?25h\x1b[?1049l";

// What the signal handlers need to put the terminal back; set while a session runs.
termios s_saved;
volatile sig_atomic_t s_active = 0;
int s_input = -1;
int s_output = -1;
int s_resizePipe[2] = {-1, -1};

const int RESTORING_SIGNALS[] = {SIGTERM, SIGHUP, SIGQUIT, SIGINT};
struct sigaction s_previous[sizeof RESTORING_SIGNALS / sizeof RESTORING_SIGNALS[0]];
struct sigaction s_previousResize;

void Restore()
{
    if (!s_active)
        return;
    s_active = 0;
    tcsetattr(s_input, TCSAFLUSH, &s_saved);
    TerminalWriteAll(s_output, LEAVE_SCREEN, sizeof LEAVE_SCREEN - 1);
}

// Async-signal-safe: puts the terminal back, then lets the signal do what it would have done.
void OnEndingSignal(int signal)
{
    Restore();
    struct sigaction standard{};
    standard.sa_handler = SIG_DFL;
    sigaction(signal, &standard, nullptr);
    raise(signal);
}

void OnResize(int)
{
    int saved = errno;
    char byte = 0;
    if (write(s_resizePipe[1], &byte, 1) < 0) {
        // A full pipe already holds a notice.
    }
    errno = saved;
}

}  // namespace

void TerminalWriteAll(int fd, const char* text, size_t length)
{
    while (length > 0) {
        ssize_t done = write(fd, text, length);
        if (done < 0 && errno == EINTR)
            continue;
        if (done <= 0)
            return;
        text += done;
        length -= static_cast<size_t>(done);
    }
}

TerminalSession::TerminalSession(int input, int output) : m_input(input), m_output(output)
{
    tcgetattr(input, &s_saved);
    s_input = input;
    s_output = output;
    if (pipe2(s_resizePipe, O_CLOEXEC | O_NONBLOCK) != 0)
        s_resizePipe[0] = s_resizePipe[1] = -1;

    termios raw = s_saved;
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON | BRKINT | ISTRIP | INLCR | IGNCR);
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(input, TCSAFLUSH, &raw);
    s_active = 1;

    struct sigaction ending{};
    ending.sa_handler = OnEndingSignal;
    sigemptyset(&ending.sa_mask);
    for (size_t i = 0; i < sizeof RESTORING_SIGNALS / sizeof RESTORING_SIGNALS[0]; ++i)
        sigaction(RESTORING_SIGNALS[i], &ending, &s_previous[i]);
    struct sigaction resize{};
    resize.sa_handler = OnResize;
    resize.sa_flags = SA_RESTART;
    sigemptyset(&resize.sa_mask);
    sigaction(SIGWINCH, &resize, &s_previousResize);

    Write(ENTER_SCREEN);
}

TerminalSession::~TerminalSession()
{
    Restore();
    for (size_t i = 0; i < sizeof RESTORING_SIGNALS / sizeof RESTORING_SIGNALS[0]; ++i)
        sigaction(RESTORING_SIGNALS[i], &s_previous[i], nullptr);
    sigaction(SIGWINCH, &s_previousResize, nullptr);
    for (int& end : s_resizePipe) {
        if (end >= 0)
            close(end);
        end = -1;
    }
}

int TerminalSession::Columns() const
{
    winsize size{};
    if (ioctl(m_output, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

int TerminalSession::ResizeDescriptor() const
{
    return s_resizePipe[0];
}

void TerminalSession::DrainResize()
{
    char bytes[64];
    while (s_resizePipe[0] >= 0 && read(s_resizePipe[0], bytes, sizeof bytes) > 0) {
    }
}

void TerminalSession::Write(const std::string& text)
{
    TerminalWriteAll(m_output, text.data(), text.size());
}
