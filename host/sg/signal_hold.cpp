// Holding signals around one SG_IO request.
#include "host/sg/signal_hold.h"

#include <pthread.h>

#include <initializer_list>

SgSignalHold::SgSignalHold()
{
    sigset_t held;
    sigfillset(&held);
    for (int fault : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
        sigdelset(&held, fault);
    m_held = pthread_sigmask(SIG_BLOCK, &held, &m_previous) == 0;
}

SgSignalHold::~SgSignalHold()
{
    if (m_held)
        pthread_sigmask(SIG_SETMASK, &m_previous, nullptr);
}
