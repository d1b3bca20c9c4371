// The Linux program itself, run through pipes as a script runs it: convert-only mode in line mode,
// its output and its exit status.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "app_test_support.h"
#include "qzv_version.h"

namespace {

struct Finished {
    int status;
    std::string output;
};

enum class Input { PIPE, CLOSED };

// Runs the program next to this test with `arguments`, feeding `input` to its standard input (or
// starting it with standard input closed); with `locale`, under that LC_ALL. A program still running
// after 60 s is ended by SIGALRM and counts as not exited (-1).
Finished RunProgram(const std::vector<std::string>& arguments, const std::string& input, Input how = Input::PIPE,
                    const char* locale = nullptr)
{
    char self[4096] = {};
    EXPECT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    std::string program = std::string(self).substr(0, std::string(self).rfind('/') + 1) + "qzvupdate";
    int in[2], out[2];
    EXPECT_EQ(0, pipe(in));
    EXPECT_EQ(0, pipe(out));
    pid_t child = fork();
    if (child == 0) {
        alarm(60);
        if (how == Input::PIPE)
            dup2(in[0], 0);
        else
            close(0);
        dup2(out[1], 1);
        dup2(out[1], 2);
        close(in[1]);
        close(out[0]);
        if (locale)
            setenv("LC_ALL", locale, 1);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
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

}  // namespace
