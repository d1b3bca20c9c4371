// Requests to stop, for a program that must not be ended between two commands of a firmware download:
// while a StopSignals object lives, SIGINT and SIGTERM (and SIGHUP on POSIX, Ctrl+Break on Windows) do
// not end the program but are noted, and the program looks at them where stopping is safe. The
// handlers are installed without SA_RESTART, so that a wait for console input returns when a signal
// comes; a system call that a signal interrupts is never started again by the system, so a command
// can never reach a unit twice through it. The handlers in force before are put back at the end.
#pragma once

class StopSignals {
public:
    StopSignals();
    ~StopSignals();
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

    // The first signal noted since the object was made, or 0.
    static int Received();
    // "SIGINT", "SIGTERM", ...; "signal N" for others.
    static const char* Name(int signal);

private:
    // The handler installed for each of them: notes the first signal. Forget clears it.
    static void Note(int signal);
    static void Forget();
};
