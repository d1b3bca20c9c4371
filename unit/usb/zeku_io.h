// The vendor USB driver transport: units attached through the vendor's USB driver, found by their
// device interface and reached through the device file, its three pipe files and three control
// codes. Each command opens the device and its pipes, sends the CDB as a command request, moves the
// data over a pipe, reads the 2-byte status (or asks for sense after a failed data phase) and closes
// everything again. A named mutex per device index ("ZekuIo/mutex/device/00" .. "31") serialises the
// commands of all processes.
//
// The unit table opens, closes and counts the transport; the per-unit operations below are bound
// into the entries of vendor-USB units and take the device index (the entry's transport index).
#pragma once

#include "host/host_io.h"
#include "platform/win32_types.h"

enum { ZEKUIO_MAX_DEVICES = 32 };

// How long a command waits for its device's mutex before it reports the unit busy (11).
enum : DWORD { ZEKUIO_MUTEX_WAIT = 32000 };

// A command answered with ASC 0x28/ASCQ 0x00 (ready change) is issued again, at most this many
// times in all; the last status is then returned.
enum { ZEKUIO_MAX_ISSUES = 16 };

// 1 when all 32 mutexes exist (created, or opened when another process made them), 0 otherwise;
// then none is kept.
DWORD ZekuIoOpen(void);
// Closes every mutex handle.
void ZekuIoClose(void);
// Devices present, counted from index 0 up to the first index the enumeration does not return, at
// most 32. Clears every device record.
DWORD ZekuIoCount(void);

// The device's 16-byte CDB area (kept between commands) for an index below 32, otherwise null.
BYTE* ZekuIoGetCdb(DWORD index);
// Runs the CDB in the area: 0, (ASC << 24) | (ASCQ << 16) from the status block, the packed sense
// after a failed data phase, 2 when an exchange with the device failed, 5 for an index of 32 or more,
// a CDB length outside 1..16 or a device that cannot be opened, 11 when the mutex is not obtained
// in time. Only the low 8 bits of direction and cdbLength count.
UnitStatus ZekuIoExecute(DWORD index, DWORD direction, DWORD cdbLength, void* data, DWORD length);
// No drive letter or device number exists for these units: 0 with ERROR_NOT_SUPPORTED; nothing
// is written through the pointer.
BOOL ZekuIoGetDriveLetter(DWORD index, DWORD* letter);
BOOL ZekuIoGetDeviceNumber(DWORD index, DWORD* number);
// START STOP UNIT with load or eject. 1 on status 0; otherwise 0 with ERROR_NOT_READY for a sense
// key of 2 or 6 and ERROR_GEN_FAILURE for anything else, a status block with ASC/ASCQ included.
// An index of 32 or more: 0 with ERROR_FILE_NOT_FOUND.
BOOL ZekuIoLoadMedium(DWORD index);
BOOL ZekuIoEjectMedium(DWORD index);
// Volumes are not locked through this driver: both succeed without action.
BOOL ZekuIoLock(DWORD index);
BOOL ZekuIoUnlock(DWORD index);
