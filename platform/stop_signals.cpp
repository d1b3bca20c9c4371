// What both systems share of the stop requests: the signal noted and the signals' names.
#include "platform/stop_signals.h"

#include <csignal>
#include <cstdio>

namespace {

volatile std::sig_atomic_t s_received = 0;

}  // namespace

void StopSignals::Note(int signal)
{
#ifdef _WIN32
    // The C runtime has put the default handler back before this call.
    std::signal(signal, Note);
#endif
    if (s_received == 0)
        s_received = signal;
}

void StopSignals::Forget()
{
    s_received = 0;
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
#ifdef SIGHUP
    case SIGHUP: return "SIGHUP";
#endif
#ifdef SIGBREAK
    case SIGBREAK: return "SIGBREAK";
#endif
    }
    static char other[24];
    std::snprintf(other, sizeof other, "signal %d", signal);
    return other;
}
