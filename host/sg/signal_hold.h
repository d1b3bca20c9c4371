// Catchable signals held back from the calling thread while one SCSI command runs. The kernel's sg
// driver waits for SG_IO interruptibly: a signal handled meanwhile orphans the running request, and
// a handler installed with SA_RESTART makes the ioctl start again, so the same CDB would reach the
// unit a second time and the first outcome would be lost. Signals that arrive while held are
// delivered as soon as the hold ends.
#pragma once

#include <signal.h>

// Blocks, for the calling thread, every signal that can be blocked except the faults the thread's
// own code raises (those cannot wait: the kernel would end the process). True when the previous
// mask was saved in *previous.
bool SgHoldSignals(sigset_t* previous);
// Puts the mask SgHoldSignals saved back.
void SgReleaseSignals(const sigset_t& previous);

// Runs `call` with signals held and returns its result.
template <typename Call>
auto SgWithSignalsHeld(Call call) -> decltype(call())
{
    sigset_t previous;
    const bool held = SgHoldSignals(&previous);
    auto result = call();
    if (held)
        SgReleaseSignals(previous);
    return result;
}
