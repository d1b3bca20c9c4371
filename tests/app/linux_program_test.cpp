// The Linux program itself, run through pipes as a script runs it: convert-only mode in line mode,
// its output and its exit status; inputs that are no regular files; conversions ended by a signal.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include "app_test_support.h"
#include "qzv_version.h"

namespace {

struct Finished {
    int status;
    std::string output;
};

// Starts the program `name` built next to this test with `arguments`, its standard input from `in`
// (closed for -1) and its output to `out`; with `locale`, under that LC_ALL. The ending signals get
// their default action, whatever the test runner set, and the program is ended by SIGALRM if it is
// still there after a minute: a program that blocks ends a test rather than hangs it.
pid_t StartProgram(const std::string& name, const std::vector<std::string>& arguments, int in, int out,
                   const char* locale = nullptr)
{
    char self[4096] = {};
    EXPECT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string program = std::string(self).substr(0, std::string(self).rfind('/') + 1) + name;
    pid_t child = fork();
    if (child == 0) {
        if (in >= 0)
            dup2(in, 0);
        else
            close(0);
        dup2(out, 1);
        dup2(out, 2);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            std::signal(signal, SIG_DFL);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (locale)
            setenv("LC_ALL", locale, 1);
        alarm(60);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    return child;
}

enum class Input { PIPE, CLOSED };

// Runs qzvupdate with `arguments`, feeding `input` to its standard input (or starting it with
// standard input closed); with `locale`, under that LC_ALL. A program ended by a signal counts as
// not exited (-1).
Finished RunProgram(const std::vector<std::string>& arguments, const std::string& input, Input how = Input::PIPE,
                    const char* locale = nullptr)
{
    int in[2], out[2];
    EXPECT_EQ(0, pipe2(in, O_CLOEXEC));
    EXPECT_EQ(0, pipe2(out, O_CLOEXEC));
    pid_t child = StartProgram("qzvupdate", arguments, how == Input::PIPE ? in[0] : -1, out[1], locale);
    close(in[0]);
    close(out[1]);
    EXPECT_EQ(static_cast<ssize_t>(input.size()), write(in[1], input.data(), input.size()));
    close(in[1]);
    Finished finished{-1, ""};
    char bytes[4096];
    ssize_t got;
    while ((got = read(out[0], bytes, sizeof bytes)) > 0)
        finished.output.append(bytes, static_cast<size_t>(got));
    close(out[0]);
    int status = 0;
    waitpid(child, &status, 0);
    finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return finished;
}

TEST(LinuxProgram, ConvertOnlyThroughAPipe)
{
    WriteFile("piped.mot", MotText({0xAA, 0xBB, 0xCC}, 2));
    RemoveFile("piped.bin");
    // The end of input presses Quit.
    Finished run = RunProgram({"-c", "piped.mot"}, "");
    EXPECT_EQ(0, run.status);
    EXPECT_EQ("== QZV-57x ファームウェア更新 ==\n" WAIT_TEXT "\n" CONVERTING_TEXT("piped.mot", "piped.bin")
                  CONVERSION_FINISHED_TEXT("piped.mot", "piped.bin"),
              run.output);
    EXPECT_EQ(std::string("\xFF\xFF\xAA\xBB\xCC", 5), ReadFile("piped.bin"));
}

TEST(LinuxProgram, ClosedStandardInputIsTheEndOfInput)
{
    // Neither a descriptor opened later (the device-notice socket) is read as input, nor does a
    // closed one keep the wait spinning: the end of input presses Quit.
    WriteFile("closed.mot", MotText({0x01, 0x02}, 0));
    Finished run = RunProgram({"-c", "closed.mot"}, "", Input::CLOSED);
    EXPECT_EQ(0, run.status);
    EXPECT_NE(std::string::npos, run.output.find(CONVERSION_FINISHED_TEXT("closed.mot", "closed.bin")));
}

TEST(LinuxProgram, ScriptedButtonsAboutAndAFailureStatus)
{
    WriteFile("broken.mot", "S1 not a record\n");
    // "s" is refused (Start is disabled), "about" opens the About dialog, "o" presses its OK and
    // "q" quits.
    Finished run = RunProgram({"-c", "broken.mot"}, "s\nabout\no\nq\n");
    EXPECT_EQ(1, run.status);
    EXPECT_NE(std::string::npos, run.output.find(CONVERSION_FAILED_TEXT("broken.mot", "broken.bin")));
    EXPECT_NE(std::string::npos, run.output.find("not available now: s\n"));
    EXPECT_NE(std::string::npos, run.output.find("== バージョン情報 ==\nQZV-57x Firmware Updater  " QZV_VERSION "\n"
                                                 "Copyright (C) 2026 QZV-57 Updater Project\n"));
    EXPECT_FALSE(FileExists("broken.bin"));
}

TEST(LinuxProgram, HelpAndVersionAreAnsweredBeforeTheCommandLineIsParsed)
{
    WriteFile("informed.mot", MotText({0x01, 0x02}, 2));
    RemoveFile("informed.bin");
    Finished version = RunProgram({"-c", "informed.mot", "--version"}, "");
    EXPECT_EQ(0, version.status);
    EXPECT_EQ(QZV_VERSION_TEXT("qzvupdate"), version.output);

    Finished english = RunProgram({"--help", "-c", "informed.mot"}, "", Input::PIPE, "C.UTF-8");
    EXPECT_EQ(0, english.status);
    EXPECT_EQ(0u, english.output.find("Usage: qzvupdate [-c] [-r] [-V] [-W] [IMAGE]\n")) << english.output;
    EXPECT_NE(std::string::npos, english.output.find("\nExit status:\n"));
    // Under a Japanese locale the text is Japanese; manual-page tools then look for the usage line
    // by its Japanese keyword.
    Finished japanese = RunProgram({"--help"}, "", Input::PIPE, "ja_JP.UTF-8");
    EXPECT_EQ(0, japanese.status);
    EXPECT_EQ(0u, japanese.output.find("使用法: qzvupdate [-c] [-r] [-V] [-W] [イメージ]\nまたは: qzvupdate --help")) << japanese.output;
    EXPECT_NE(std::string::npos, japanese.output.find("\n終了ステータス:\n"));
    EXPECT_FALSE(FileExists("informed.bin")) << "nothing was converted";

    // Only the exact words: anything else starting with "-" is still a switch the updater refuses.
    Finished refused = RunProgram({"--versions"}, "");
    EXPECT_EQ(1, refused.status);
    EXPECT_NE(std::string::npos, refused.output.find("使用法")) << refused.output;
}

// Inputs that never end or would block the open are refused at once with the conversion's text.
TEST(LinuxProgram, APipeOrADeviceAsConversionInputIsRefusedAtOnce)
{
    RemoveFile("fifo.mot");
    ASSERT_EQ(0, mkfifo("fifo.mot", 0600));
    RemoveFile("zero.mot");
    ASSERT_EQ(0, symlink("/dev/zero", "zero.mot"));
    struct {
        const char* input;
        const char* output;
        const char* failedText;
    } cases[] = {{"fifo.mot", "fifo.bin", CONVERSION_FAILED_TEXT("fifo.mot", "fifo.bin")},
                 {"zero.mot", "zero.bin", CONVERSION_FAILED_TEXT("zero.mot", "zero.bin")}};
    for (const auto& c : cases) {
        RemoveFile(c.output);
        Finished run = RunProgram({"-c", c.input}, "");
        EXPECT_EQ(1, run.status) << c.input;
        EXPECT_NE(std::string::npos, run.output.find(c.failedText)) << run.output;
        EXPECT_FALSE(FileExists(c.output)) << c.input;
        EXPECT_FALSE(FileExists(std::string(c.output) + ".tmp")) << c.input;
    }
    RemoveFile("fifo.mot");
    RemoveFile("zero.mot");
}

// The names in the scratch folder that start with `prefix`.
std::vector<std::string> NamesStartingWith(const std::string& prefix)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(".")) {
        std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// Whether fd has something to read now.
bool HasInput(int fd)
{
    pollfd entry = {fd, POLLIN, 0};
    return poll(&entry, 1, 0) == 1 && (entry.revents & POLLIN);
}

// Waits up to 20 s for `condition`, looking every millisecond.
template <typename Condition>
bool Eventually(Condition condition)
{
    for (int tries = 0; tries < 20000; ++tries) {
        if (condition())
            return true;
        usleep(1000);
    }
    return condition();
}

// A conversion ended by SIGINT, SIGTERM or SIGHUP in the middle of its input removes its temporary
// file, leaves the existing output as it was and ends by that signal: in mot2bin, in the updater
// driven through pipes, and in the updater in a terminal, whose own handlers (that put the screen
// back) must still run.
TEST(LinuxProgram, AnInterruptedConversionRemovesItsTemporaryFileAndEndsByTheSignal)
{
    // A terabyte of NUL bytes and no record: a conversion that reads for many minutes unless it is
    // stopped. The file is sparse, so it takes no room on disk.
    RemoveFile("endless.bin.tmp");
    int file = open("endless.mot", O_CREAT | O_TRUNC | O_WRONLY | O_CLOEXEC, 0644);
    ASSERT_GE(file, 0);
    ASSERT_EQ(0, ftruncate(file, off_t(1) << 40));
    close(file);
    struct Program {
        const char* name;
        std::vector<std::string> arguments;
        bool terminal;
    } programs[] = {{"mot2bin", {"endless.mot", "endless.bin"}, false},
                    {"qzvupdate", {"-c", "endless.mot"}, false},
                    {"qzvupdate", {"-c", "endless.mot"}, true}};
    for (const Program& program : programs) {
        for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
            SCOPED_TRACE(std::string(program.name) + (program.terminal ? " in a terminal " : " ") + strsignal(signal));
            WriteFile("endless.bin", "previous output");
            int terminal = -1, io = -1;
            if (program.terminal)
                ASSERT_EQ(0, openpty(&terminal, &io, nullptr, nullptr, nullptr));
            else
                io = open("/dev/null", O_RDWR | O_CLOEXEC);
            pid_t child = StartProgram(program.name, program.arguments, io, io);
            ASSERT_GT(child, 0);
            close(io);
            // What the program draws in the terminal, read as it comes so that it never waits.
            std::string screen;
            auto readScreen = [&] {
                char bytes[4096];
                ssize_t got;
                while (terminal >= 0 && HasInput(terminal) && (got = read(terminal, bytes, sizeof bytes)) > 0)
                    screen.append(bytes, static_cast<size_t>(got));
            };
            bool converting = Eventually([&] {
                readScreen();
                return FileExists("endless.bin.tmp");
            });
            EXPECT_TRUE(converting) << "no temporary file appeared";
            kill(child, signal);
            int status = 0;
            bool ended = Eventually([&] {
                readScreen();
                return waitpid(child, &status, WNOHANG) == child;
            });
            if (!ended) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
            }
            EXPECT_TRUE(ended) << "the program did not end";
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << "status " << status;
            EXPECT_EQ(std::vector<std::string>{"endless.bin"}, NamesStartingWith("endless.bin"));
            EXPECT_EQ("previous output", ReadFile("endless.bin"));
            if (program.terminal) {
                readScreen();
                EXPECT_NE(std::string::npos, screen.find("\x1b[?1049l")) << "the screen was not put back";
                close(terminal);
            }
        }
    }
    RemoveFile("endless.mot");
    RemoveFile("endless.bin");
}

}  // namespace
