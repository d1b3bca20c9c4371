// The unit status a transport reports for the sense data a command left behind, and the one rule
// for a command that did not complete, which every transport applies alike.
#pragma once

#include <cstddef>

#include "host/host_io.h"

// (ASC << 24) | (ASCQ << 16) | (sense key & 0x0F) from `length` bytes of sense data; bytes beyond
// `length` count as 0, so no sense data at all gives 0. Fixed-format sense (and anything that does
// not say it is descriptor format) is read at bytes 2, 12 and 13; descriptor format (response code
// 0x72/0x73) at bytes 1, 2 and 3.
UnitStatus HostIoSenseStatus(const BYTE* sense, size_t length);

// True for the SCSI status bytes of a command that completed (GOOD, CONDITION MET and the two
// INTERMEDIATE values); CHECK CONDITION, BUSY, RESERVATION CONFLICT and the rest did not.
bool HostIoScsiStatusCompleted(BYTE scsiStatus);

// The status of a command the transport carried to the unit: the packed sense when it says
// anything; otherwise 4 when the command did not complete (the unit, the adapter or the driver
// refused it without saying why: no sense, or sense that is all zero), else 0.
UnitStatus HostIoCommandStatus(const BYTE* sense, size_t length, bool completed);
