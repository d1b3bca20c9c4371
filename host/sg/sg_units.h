// The SCSI generic transport's unit records and the steps its operations share: finding a record by
// index, opening and closing its device, and running one command under the unit's mutex.
#pragma once

#include "host/host_io.h"
#include "host/sg/sg_device_calls.h"

enum { SG_UNIT_MAX = 32 };

// Longest wait for a unit's inter-process mutex, and the time a command may take on the unit.
const DWORD SG_MUTEX_WAIT_MS = 32000;
const DWORD SG_COMMAND_TIMEOUT_MS = 32000;

struct SgIoUnit {
    HANDLE mutex;             // "mutexSgIo/<device class>/<SCSI address>" (or "/sg<N>")
    int fd;                   // descriptor on /dev/sgN, -1 while closed
    int blockFd;              // exclusive descriptor on its block device while locked, else -1
    bool locked;              // HostIoLock succeeded: commands keep the device open
    unsigned deviceNumber;    // N of /dev/sgN
    DWORD discoveryNumber;    // units already accepted when this one was
    bool addressKnown;        // SG_GET_SCSI_ID answered; such units sort first
    SgScsiAddress address;
    BYTE inquiry[96];         // the first 36 bytes hold the INQUIRY answer of the probe
    BYTE cdb[16];             // the CDB area HostIoGetCdb hands out
    BYTE sense[32];           // cleared before each command
};

extern SgIoUnit g_sgUnits[SG_UNIT_MAX];
extern DWORD g_sgUnitCount;

// The record of a unit index; null with ERROR_FILE_NOT_FOUND when the index is not below the count.
SgIoUnit* SgIoUnitAt(DWORD unit);

// Opens the record's device unless it is open: 0, or -errno.
int SgIoOpen(SgIoUnit* unit);
// Gives up the exclusive block-device open and closes the device; the record is unlocked.
void SgIoClose(SgIoUnit* unit);
// Closes every record in use and every mutex handle.
void SgIoCloseAll(void);

// Runs the CDB in the record's area: 11 when the mutex is not had within 32 s, 4 when the command
// cannot be carried (device not opened, SG_IO refused, CDB length outside 1..16, no buffer for a
// data phase), else the status of the request. The device is closed afterwards unless locked.
// The request is sent once, with catchable signals held until it has ended.
UnitStatus SgIoRun(SgIoUnit* unit, DWORD direction, DWORD cdbLength, void* data, DWORD length);

// The enumeration: scan, probe and sort.
DWORD SgIoEnumerate(HostIoFilter filter, const char* deviceClass);
