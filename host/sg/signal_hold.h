// Catchable signals held back from the calling thread while one SCSI command runs. The kernel's sg
// driver waits for SG_IO interruptibly: a signal handled meanwhile orphans the running request, and
// a handler installed with SA_RESTART makes the ioctl start again, so the same CDB would reach the
// unit a second time and the first outcome would be lost. Signals that arrive while held are
// delivered as soon as the hold ends.
#pragma once

#include <signal.h>

class SgSignalHold {
public:
    // Blocks every signal that can be blocked, except the faults the thread's own code raises
    // (those cannot wait: the kernel would end the process).
    SgSignalHold();
    // Puts the thread's previous signal mask back.
    ~SgSignalHold();
    SgSignalHold(const SgSignalHold&) = delete;
    SgSignalHold& operator=(const SgSignalHold&) = delete;

private:
    sigset_t m_previous;
    bool m_held;
};
