// The host interface: one process-wide table of ten operations that carry CDBs to units behind a
// SCSI host adapter or a storage driver, filled by HostIoInit with the transport of the platform:
// pass-through on the NT family, ASPI on 9x (when its manager starts), and SCSI generic on Linux
// (in the Linux build; the Windows build installs nothing there and fails with ERROR_NOT_SUPPORTED).
//
// Contract common to every transport (a transport author implements from this):
// - Units are named by index, 0 .. count-1, in the order of the last HostIoEnumerate; an index is
//   valid until the next enumeration. An index out of range fails with last error
//   ERROR_FILE_NOT_FOUND: boolean operations return 0, GetCdb null, Execute 5.
// - Running a command: write the CDB into the 16-byte area from HostIoGetCdb (bytes beyond those
//   written keep what the previous command left), then HostIoExecute with direction and length.
// - The status returned by Execute is (ASC << 24) | (ASCQ << 16) | (sense key & 0x0F) of the sense
//   data the command left; without sense that says anything it is 0 for a command that completed
//   and 4 for one that did not (HostIoCommandStatus in host/sense_status.h, the one rule for all).
//   Transports also produce 4 when the command was not carried to the unit, 5 for a bad index or
//   argument and 11 when the unit's inter-process mutex was not obtained in time.
// - Boolean operations return 1 or 0 and leave the reason in the thread's last error.
#pragma once

#include "platform/win32_types.h"

// The 32-bit result of every command on a unit.
typedef DWORD UnitStatus;

// Statuses the transports and the unit layer make themselves, without sense data.
#define UNIT_STATUS_NOT_CARRIED 4u   // the command did not reach the unit, or did not complete
#define UNIT_STATUS_BAD_ARGUMENT 5u  // unit index out of range, no CDB area, bad length or argument
#define UNIT_STATUS_BUSY 11u         // the unit's mutex was not had in time; also missing pointers of
                                     // the ATA operations

// Transfer directions; every other value runs the command without a data phase.
enum {
    UnitNoData = 0,
    UnitDataIn = 1,   // unit to host
    UnitDataOut = 2,  // host to unit
};

// Receives 36 bytes of standard INQUIRY data; nonzero accepts the unit.
typedef int (*HostIoFilter)(const BYTE* inquiry);

// The per-unit operations of a transport, as HostInterface and the unit table's entries hold them.
// Each takes the unit's index within its transport.
typedef BYTE* (*UnitCdbOperation)(DWORD unit);
typedef UnitStatus (*UnitExecuteOperation)(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length);
typedef BOOL (*UnitQueryOperation)(DWORD unit, DWORD* value);
typedef BOOL (*UnitMediumOperation)(DWORD unit);

struct HostInterface {
    // Releases the transport's handles and mutexes; the table stays installed. Returns 1.
    BOOL (*term)(void);
    // Discards the previous units and finds the units the filter accepts (a null filter accepts
    // every unit). The device-class name is used in the per-unit mutex names; null or empty finds no
    // unit. Returns the count (0 on failure).
    DWORD (*enumerate)(HostIoFilter filter, const char* deviceClass);
    // The unit's 16-byte CDB area, valid until the next enumeration; null on failure.
    UnitCdbOperation getCdb;
    // Runs the CDB in the unit's area. Only the low 8 bits of direction and cdbLength count.
    UnitExecuteOperation execute;
    // Drive letter (0 when none) and discovery number, stored through the pointer when not null.
    UnitQueryOperation getDriveLetter, getDeviceNumber;
    UnitMediumOperation loadMedium, ejectMedium, lock, unlock;
};

// Installs the platform's transport. 1 when a transport is installed, 0 otherwise (table unchanged,
// reason in the last error).
int HostIoInit(void);

// Installs a transport of one's own (all ten operations set), as HostIoInit does for the platform's.
// Tests install transports backed by simulated units with it; a table of null pointers empties the
// table again, and a null table changes nothing.
void HostIoInstall(const HostInterface* operations);

// Forwarding functions. With an empty table each sets ERROR_INVALID_FUNCTION and returns 0 (null for
// GetCdb, 0xFFFFFFFF for Execute); HostIoEnumerate alone initialises the table first when empty.
BOOL HostIoTerm(void);
DWORD HostIoEnumerate(HostIoFilter filter, const char* deviceClass);
BYTE* HostIoGetCdb(DWORD unit);
UnitStatus HostIoExecute(DWORD unit, DWORD direction, DWORD cdbLength, void* data, DWORD length);
BOOL HostIoGetDriveLetter(DWORD unit, DWORD* letter);
BOOL HostIoGetDeviceNumber(DWORD unit, DWORD* number);
BOOL HostIoLoadMedium(DWORD unit);
BOOL HostIoEjectMedium(DWORD unit);
BOOL HostIoLock(DWORD unit);
BOOL HostIoUnlock(DWORD unit);

// The default filter: accepts every unit.
int HostIoAcceptAll(const BYTE* inquiry);
