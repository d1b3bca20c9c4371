// Stop requests on POSIX: SIGINT, SIGTERM and SIGHUP noted by a handler installed without SA_RESTART.
#include "platform/stop_signals.h"

#include <signal.h>

#include <cstdio>

namespace {

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
const int STOP_SIGNAL_COUNT = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0];

volatile sig_atomic_t s_received = 0;
struct sigaction s_previous[STOP_SIGNAL_COUNT];

void NoteSignal(int signal)
{
    if (s_received == 0)
        s_received = signal;
}

}  // namespace

StopSignals::StopSignals()
{
    s_received = 0;
    struct sigaction action = {};
    action.sa_handler = NoteSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    for (int i = 0; i < STOP_SIGNAL_COUNT; ++i)
        sigaction(STOP_SIGNALS[i], &action, &s_previous[i]);
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < STOP_SIGNAL_COUNT; ++i)
        sigaction(STOP_SIGNALS[i], &s_previous[i], nullptr);
}

int StopSignals::Received()
{
    return s_received;
}

const char* StopSignals::Name(int signal)
{
    switch (signal) {
    case SIGINT: return "SIGINT";
    case SIGTERM: return "SIGTERM";
    case SIGHUP: return "SIGHUP";
    }
    static char other[24];
    std::snprintf(other, sizeof other, "signal %d", signal);
    return other;
}
