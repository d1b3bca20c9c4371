// Stop requests on Windows: Ctrl+C (SIGINT), Ctrl+Break (SIGBREAK) and SIGTERM through the C runtime,
// which runs the handler on a thread of its own and resets it to the default before each call.
#include "platform/stop_signals.h"

#include <signal.h>

#include <cstdio>

namespace {

typedef void (*SignalHandler)(int);

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGBREAK};
const int STOP_SIGNAL_COUNT = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0];

volatile sig_atomic_t s_received = 0;
SignalHandler s_previous[STOP_SIGNAL_COUNT];

void NoteSignal(int signal)
{
    std::signal(signal, NoteSignal);
    if (s_received == 0)
        s_received = signal;
}

}  // namespace

StopSignals::StopSignals()
{
    s_received = 0;
    for (int i = 0; i < STOP_SIGNAL_COUNT; ++i)
        s_previous[i] = std::signal(STOP_SIGNALS[i], NoteSignal);
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < STOP_SIGNAL_COUNT; ++i)
        std::signal(STOP_SIGNALS[i], s_previous[i] == SIG_ERR ? SIG_DFL : s_previous[i]);
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
    case SIGBREAK: return "SIGBREAK";
    }
    static char other[24];
    std::snprintf(other, sizeof other, "signal %d", signal);
    return other;
}
