// How the updater must read a unit's answer to one command, given what its transport carries of it.
#pragma once

#include "sim/sim_unit.h"

// The ways a command reaches a unit on the emulated machine.
enum class UnitPath {
    PassThrough,  // the NT storage stack: status byte, and sense with any status but GOOD
    Aspi,         // the 9x ASPI manager: any status but GOOD ends the request with an error
    VendorUsb,    // the vendor USB driver: a status block of ASC and ASCQ alone
};

enum class AnswerReading {
    Good,      // the command completed
    Failed,    // the program must see a failure
    Repeated,  // the vendor USB transport sends the command again (ASC 0x28, ASCQ 0x00: ready change)
};

// Through the storage stack, a status of a command that did not complete, or sense with a key, ASC or
// ASCQ (fixed format, or descriptor format 0x72/0x73), is a failure; through the ASPI manager any
// status but GOOD is. The vendor USB driver carries ASC and ASCQ alone, so a unit's CHECK CONDITION
// without them reads as success there.
AnswerReading ReadAnswer(const SimResult& result, UnitPath path);
