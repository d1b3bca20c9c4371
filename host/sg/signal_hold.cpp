// Holding signals around one SG_IO request.
#include "host/sg/signal_hold.h"

#include <pthread.h>

#include <initializer_list>

bool SgHoldSignals(sigset_t* previous)
{
    sigset_t held;
    sigfillset(&held);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
        sigdelset(&held, fault);
    return pthread_sigmask(SIG_BLOCK, &held, previous) == 0;
}

void SgReleaseSignals(const sigset_t& previous)
{
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
