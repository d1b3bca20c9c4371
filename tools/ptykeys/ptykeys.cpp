// ptykeys: runs a program on a pseudo-terminal of its own, as a person at a terminal would: it waits
// for texts to appear on the screen, types keys, and resizes the terminal (which makes the kernel send
// SIGWINCH to the program) again and again when asked. The real-kernel test drives the interactive
// updater with it inside its small guest, which has no terminal emulator.
//
//   ptykeys [--timeout SECONDS] STEP... -- PROGRAM [ARGUMENT...]
//
// Steps, carried out in order while the program runs:
//   --expect TEXT      wait until TEXT has appeared in the program's output since the last match
//   --or TEXT          ... or until TEXT has (after --expect; as often as needed)
//   --send KEYS        type KEYS
//   --resize-every MS  from now on, change the terminal's width every MS milliseconds
//   --resize-stop      stop changing it
//
// What the program left on the screen goes to standard output, without terminal control sequences:
// its output since it last left the alternate screen (its last 4 KiB if it never did). One line
// "ptykeys: exit STATUS resizes N" follows. The exit status is the program's; 124 when a
// step or the program outlasted the time limit (the program is then killed), 125 for a usage or
// system error.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const int EXIT_TIMEOUT = 124;
const int EXIT_TROUBLE = 125;
const unsigned short ROWS = 24;
const unsigned short NARROW = 80;
const unsigned short WIDE = 100;

struct Step {
    enum Kind { EXPECT, SEND, RESIZE_EVERY, RESIZE_STOP } kind;
    std::vector<std::string> texts;  // EXPECT: any of them; SEND: the keys
    long milliseconds = 0;
};

// Where the first of the texts appears from `from` on, and its length; npos when none does.
size_t FindAny(const std::string& screen, const std::vector<std::string>& texts, size_t from, size_t* length)
{
    size_t best = std::string::npos;
    for (const std::string& text : texts) {
        size_t found = screen.find(text, from);
        if (found < best) {
            best = found;
            *length = text.size();
        }
    }
    return best;
}

long NowMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000L + now.tv_nsec / 1000000L;
}

int Usage(const char* why)
{
    std::fprintf(stderr,
                 "ptykeys: %s\nusage: ptykeys [--timeout SECONDS] [--expect TEXT [--or TEXT]... | --send KEYS |"
                 " --resize-every MS | --resize-stop]... -- PROGRAM [ARGUMENT...]\n",
                 why);
    return EXIT_TROUBLE;
}

// Output without the escape sequences that move the cursor and set colours (CSI and the short ESC forms).
class ScreenText {
public:
    // Where the main screen was last given back, or npos.
    size_t LeftAlternateAt() const { return m_leftAlternate; }
    void Add(const char* bytes, size_t length)
    {
        for (size_t i = 0; i < length; ++i) {
            const char c = bytes[i];
            switch (m_state) {
            case PLAIN:
                if (c == '\x1b')
                    m_state = ESCAPE;
                else if (c != '\r')
                    m_text += c;
                break;
            case ESCAPE:
                m_state = c == '[' ? CSI : PLAIN;
                m_sequence.clear();
                break;
            case CSI:
                m_sequence += c;
                if (c >= 0x40 && c <= 0x7E) {
                    m_state = PLAIN;
                    if (m_sequence == "?1049l")
                        m_leftAlternate = m_text.size();
                }
                break;
            }
        }
    }
    const std::string& Text() const { return m_text; }

private:
    enum { PLAIN, ESCAPE, CSI } m_state = PLAIN;
    std::string m_sequence;
    std::string m_text;
    size_t m_leftAlternate = std::string::npos;
};

bool WriteAll(int fd, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

pid_t StartOnTerminal(int master, char** program)
{
    const char* slaveName = ptsname(master);
    if (slaveName == nullptr)
        return -1;
    std::string slavePath = slaveName;
    pid_t child = fork();
    if (child != 0)
        return child;
    // The child leads a session of its own whose controlling terminal is the slave, so that a resize
    // signals its process group.
    setsid();
    int slave = open(slavePath.c_str(), O_RDWR);
    if (slave < 0 || ioctl(slave, TIOCSCTTY, 0) != 0)
        _exit(EXIT_TROUBLE);
    dup2(slave, 0);
    dup2(slave, 1);
    dup2(slave, 2);
    if (slave > 2)
        close(slave);
    execvp(program[0], program);
    std::fprintf(stderr, "ptykeys: cannot run %s: %s\n", program[0], std::strerror(errno));
    _exit(EXIT_TROUBLE);
}

bool SetWidth(int master, unsigned short columns)
{
    winsize size{};
    size.ws_row = ROWS;
    size.ws_col = columns;
    return ioctl(master, TIOCSWINSZ, &size) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    long timeoutMs = 60000;
    std::vector<Step> steps;
    int at = 1;
    for (; at < argc && std::strcmp(argv[at], "--") != 0; ++at) {
        const std::string option = argv[at];
        const bool valued = option != "--resize-stop";
        if (valued && at + 1 >= argc)
            return Usage(("missing value after " + option).c_str());
        if (option == "--timeout")
            timeoutMs = std::atol(argv[++at]) * 1000L;
        else if (option == "--expect")
            steps.push_back({Step::EXPECT, {argv[++at]}});
        else if (option == "--or" && !steps.empty() && steps.back().kind == Step::EXPECT)
            steps.back().texts.push_back(argv[++at]);
        else if (option == "--send")
            steps.push_back({Step::SEND, {argv[++at]}});
        else if (option == "--resize-every")
            steps.push_back({Step::RESIZE_EVERY, {}, std::atol(argv[++at])});
        else if (option == "--resize-stop")
            steps.push_back({Step::RESIZE_STOP, {}});
        else
            return Usage(("unknown option " + option).c_str());
    }
    if (at + 1 >= argc)
        return Usage("no program given");

    int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !SetWidth(master, NARROW)) {
        std::perror("ptykeys: pseudo-terminal");
        return EXIT_TROUBLE;
    }
    pid_t child = StartOnTerminal(master, argv + at + 1);
    if (child < 0) {
        std::perror("ptykeys: fork");
        return EXIT_TROUBLE;
    }

    const long deadline = NowMs() + timeoutMs;
    ScreenText screen;
    size_t searchFrom = 0;
    size_t next = 0;
    long resizePeriod = 0, nextResize = 0;
    unsigned resizes = 0;
    bool wide = false, exited = false, timedOut = false;
    int status = 0;
    for (;;) {
        // Steps that need not wait.
        while (next < steps.size()) {
            Step& step = steps[next];
            if (step.kind == Step::EXPECT) {
                size_t length = 0;
                size_t found = FindAny(screen.Text(), step.texts, searchFrom, &length);
                if (found == std::string::npos)
                    break;
                searchFrom = found + length;
            } else if (step.kind == Step::SEND) {
                WriteAll(master, step.texts[0]);
            } else if (step.kind == Step::RESIZE_EVERY) {
                resizePeriod = step.milliseconds > 0 ? step.milliseconds : 1;
                nextResize = NowMs();
            } else {
                resizePeriod = 0;
            }
            ++next;
        }
        long now = NowMs();
        if (resizePeriod > 0 && now >= nextResize) {
            wide = !wide;
            if (SetWidth(master, wide ? WIDE : NARROW))
                ++resizes;
            nextResize = now + resizePeriod;
        }
        if (now >= deadline) {
            timedOut = true;
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            break;
        }
        if (!exited && waitpid(child, &status, WNOHANG) == child)
            exited = true;
        // After the program's end only what it had written is still read.
        long wait = exited ? 0 : deadline - now;
        if (resizePeriod > 0)
            wait = std::min(wait, std::max(0L, nextResize - now));
        pollfd input = {master, POLLIN, 0};
        int ready = poll(&input, 1, static_cast<int>(wait));
        if (ready > 0) {
            char bytes[4096];
            ssize_t got = read(master, bytes, sizeof bytes);
            if (got > 0)
                screen.Add(bytes, static_cast<size_t>(got));
            else if (got == 0 || errno != EINTR)
                ready = 0;  // EIO: every descriptor of the terminal's other side is closed
        }
        if (exited && ready <= 0)
            break;
    }
    close(master);
    const std::string& text = screen.Text();
    const size_t tail = 4096;
    size_t from = screen.LeftAlternateAt();
    if (from == std::string::npos)
        from = text.size() > tail ? text.size() - tail : 0;
    std::fwrite(text.data() + from, 1, text.size() - from, stdout);
    int code = timedOut ? EXIT_TIMEOUT : WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (!timedOut && next < steps.size())
        std::printf("\nptykeys: step %zu of %zu not reached\n", next + 1, steps.size());
    std::printf("\nptykeys: exit %d resizes %u\n", code, resizes);
    return !timedOut && next < steps.size() && code == 0 ? EXIT_TROUBLE : code;
}
