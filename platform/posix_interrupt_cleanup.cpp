// The list of files to remove when SIGINT, SIGTERM or SIGHUP ends the program, and the one handler
// that removes them. Everything the handler touches is fixed storage written before the slot is
// marked used, and it calls only unlink, sigaction and raise, which are async-signal-safe.
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

#include "platform/interrupt_cleanup.h"

namespace {

const int ENDING_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
const int ENDING_SIGNAL_COUNT = sizeof ENDING_SIGNALS / sizeof ENDING_SIGNALS[0];

// A conversion or a tool command has one temporary file at a time; a few places leave room.
const int PLACES = 4;

char s_paths[PLACES][PATH_MAX];
volatile sig_atomic_t s_used[PLACES];
int s_listed = 0;

struct sigaction s_previous[ENDING_SIGNAL_COUNT];
bool s_installed[ENDING_SIGNAL_COUNT];

sigset_t s_heldMask;

void OnEndingSignal(int signal)
{
    for (int i = 0; i < PLACES; ++i) {
        if (s_used[i])
            unlink(s_paths[i]);
    }
    // The handler before ours (or the default action) gets the signal once this one returns.
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        if (ENDING_SIGNALS[i] == signal)
            sigaction(signal, &s_previous[i], nullptr);
    }
    raise(signal);
}

void EndingSignals(sigset_t* set)
{
    sigemptyset(set);
    for (int signal : ENDING_SIGNALS)
        sigaddset(set, signal);
}

void InstallHandlers()
{
    struct sigaction ours {};
    ours.sa_handler = OnEndingSignal;
    // The handler runs once: the other ending signals wait until it is done.
    EndingSignals(&ours.sa_mask);
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        struct sigaction current {};
        sigaction(ENDING_SIGNALS[i], nullptr, &current);
        s_installed[i] = current.sa_handler != SIG_IGN;
        if (s_installed[i])
            sigaction(ENDING_SIGNALS[i], &ours, &s_previous[i]);
    }
}

void RestoreHandlers()
{
    for (int i = 0; i < ENDING_SIGNAL_COUNT; ++i) {
        if (s_installed[i])
            sigaction(ENDING_SIGNALS[i], &s_previous[i], nullptr);
        s_installed[i] = false;
    }
}

}  // namespace

void InterruptCleanupHold(void)
{
    sigset_t ending;
    EndingSignals(&ending);
    pthread_sigmask(SIG_BLOCK, &ending, &s_heldMask);
}

void InterruptCleanupRelease(void)
{
    pthread_sigmask(SIG_SETMASK, &s_heldMask, nullptr);
}

int InterruptCleanupAdd(const char* path)
{
    size_t length = std::strlen(path);
    if (length >= PATH_MAX)
        return -1;
    for (int i = 0; i < PLACES; ++i) {
        if (s_used[i])
            continue;
        std::memcpy(s_paths[i], path, length + 1);
        // The handler must never see the slot used before its path is complete.
        std::atomic_signal_fence(std::memory_order_seq_cst);
        s_used[i] = 1;
        if (s_listed++ == 0)
            InstallHandlers();
        return i;
    }
    return -1;
}

void InterruptCleanupRemove(int place)
{
    if (place < 0 || place >= PLACES || !s_used[place])
        return;
    s_used[place] = 0;
    if (--s_listed == 0)
        RestoreHandlers();
}
