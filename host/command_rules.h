// Rules every transport applies alike to one command: which CDB lengths are sent at all, and what
// START STOP UNIT's status means as the truth value of a load or an eject.
#pragma once

#include "host/host_io.h"

// The CDB areas hold 16 bytes: a command goes out only with a CDB length (its low 8 bits) of 1 to 16.
// Transports answer any other length with UNIT_STATUS_BAD_ARGUMENT and send nothing.
bool HostIoCdbLengthValid(DWORD cdbLength);

// START STOP UNIT's status judged by its low byte (the sense key): 0 is TRUE; otherwise FALSE with
// ERROR_NOT_READY for NOT READY and UNIT ATTENTION, ERROR_FILE_NOT_FOUND for ILLEGAL REQUEST (no such
// function) and ERROR_BAD_UNIT for anything else. (The vendor USB transport judges its own way.)
BOOL HostIoStartStopVerdict(UnitStatus status);
