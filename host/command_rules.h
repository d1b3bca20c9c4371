// Rules every transport applies alike to one command: what START STOP UNIT's status means as the
// truth value of a load or an eject.
#pragma once

#include "host/host_io.h"

// START STOP UNIT's status judged by its low byte (the sense key): 0 is TRUE; otherwise FALSE with
// ERROR_NOT_READY for NOT READY and UNIT ATTENTION, ERROR_FILE_NOT_FOUND for ILLEGAL REQUEST (no such
// function) and ERROR_BAD_UNIT for anything else. (The vendor USB transport judges its own way.)
BOOL HostIoStartStopVerdict(UnitStatus status);
