// Stop requests on POSIX: SIGINT, SIGTERM and SIGHUP noted by a handler installed without SA_RESTART.
#include "platform/stop_signals.h"

#include <signal.h>

namespace {

const int STOP_SIGNALS[] = {SIGINT, SIGTERM, SIGHUP};
const int STOP_SIGNAL_COUNT = sizeof STOP_SIGNALS / sizeof STOP_SIGNALS[0];

struct sigaction s_previous[STOP_SIGNAL_COUNT];

}  // namespace

StopSignals::StopSignals()
{
    Forget();
    struct sigaction action = {};
    action.sa_handler = Note;
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
