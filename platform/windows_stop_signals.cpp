// Stop requests on Windows: Ctrl+C (SIGINT), Ctrl+Break (SIGBREAK) and SIGTERM through the C runtime,
// which runs the handler on a thread of its own.
#include "platform/stop_signals.h"

#include <csignal>

namespace {

typedef void (*SignalHandler)(int);

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGBREAK};
const int STOP_SIGNAL_COUNT = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0];

SignalHandler s_previous[STOP_SIGNAL_COUNT];

}  // namespace

StopSignals::StopSignals()
{
    Forget();
    for (int i = 0; i < STOP_SIGNAL_COUNT; ++i)
        s_previous[i] = std::signal(STOP_SIGNALS[i], Note);
}

StopSignals::~StopSignals()
{
    for (int i = 0; i < STOP_SIGNAL_COUNT; ++i)
        std::signal(STOP_SIGNALS[i], s_previous[i] == SIG_ERR ? SIG_DFL : s_previous[i]);
}
