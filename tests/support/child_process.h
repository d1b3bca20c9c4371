// A forked test process (POSIX): runs a body and reports through its exit code whether the body's
// own checks held. Two pipes let the test step it: the child signals when it reaches a point, and
// waits for the test to let it go on.
#pragma once

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

class ChildProcess {
public:
    template <typename Body>
    explicit ChildProcess(Body body)
    {
        if (pipe(m_toParent) != 0 || pipe(m_toChild) != 0)
            return;
        m_pid = fork();
        if (m_pid == 0) {
            close(m_toParent[0]);
            close(m_toChild[1]);
            _exit(body(*this) ? 0 : 1);
        }
        close(m_toParent[1]);
        close(m_toChild[0]);
    }
    ~ChildProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        close(m_toParent[0]);
        close(m_toChild[1]);
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool Started() const { return m_pid > 0; }

    // In the child.
    void Signal() { (void)!write(m_toParent[1], "x", 1); }
    void AwaitGo()
    {
        char c;
        (void)!read(m_toChild[0], &c, 1);
    }

    // In the parent.
    bool AwaitSignal()
    {
        char c;
        return read(m_toParent[0], &c, 1) == 1;
    }
    void Go() { (void)!write(m_toChild[1], "x", 1); }
    void Kill() { kill(m_pid, SIGKILL); }
    // The child's exit code: 0 when its own checks held; -1 when it was killed.
    int Finish()
    {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_reaped = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t m_pid = -1;
    bool m_reaped = false;
    int m_toParent[2] = {-1, -1};
    int m_toChild[2] = {-1, -1};
};
