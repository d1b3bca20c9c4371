// exit_memory REPORT PROGRAM [ARGUMENTS...]: runs the program and, as it ends, writes its peak
// resident memory and the resident memory of its own (data, heap and stack: the anonymous pages) in
// KiB to the file REPORT, as "peak own". The second leaves out the pages of the program file, which the kernel maps around
// each fault in a number that depends on the file's layout and on the page cache, and so measures
// what the program itself uses. A program that frees nothing has its peak of its own at its end.
// Exits with the program's status (128 + the signal when a signal ended it).
#include <signal.h>
#include <sys/ptrace.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

namespace {

// A field of /proc/PID/status in KiB, or -1.
long StatusKib(pid_t pid, const std::string& field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: exit_memory REPORT PROGRAM [ARGUMENTS...]\n");
        return 64;
    }
    pid_t child = fork();
    if (child == 0) {
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        execvp(argv[2], argv + 2);
        _exit(127);
    }
    int status = 0;
    // Stopped at its exec: from here on it also stops once more as it ends.
    waitpid(child, &status, 0);
    ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACEEXIT);
    ptrace(PTRACE_CONT, child, nullptr, nullptr);
    for (;;) {
        if (waitpid(child, &status, 0) != child)
            return 1;
        if (WIFEXITED(status))
            return WEXITSTATUS(status);
        if (WIFSIGNALED(status))
            return 128 + WTERMSIG(status);
        long pass = WSTOPSIG(status);
        if (status >> 8 == (SIGTRAP | PTRACE_EVENT_EXIT << 8)) {
            if (FILE* report = std::fopen(argv[1], "w")) {
                std::fprintf(report, "%ld %ld\n", StatusKib(child, "VmHWM"), StatusKib(child, "RssAnon"));
                std::fclose(report);
            }
            pass = 0;
        }
        ptrace(PTRACE_CONT, child, nullptr, reinterpret_cast<void*>(pass));
    }
}
