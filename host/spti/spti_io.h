// The SCSI pass-through transport of the Windows NT family: units are found through the storage
// stack (removable drive letters, then volume names), asked for INQUIRY with a pass-through request
// and kept when the caller's filter accepts them. Each command runs under the unit's named mutex
// on a handle opened for that command alone, unless the unit's volume is locked.
#pragma once

#include "host/host_io.h"
#include "host/spti/spti_block.h"

#define SPTI_IO_MAX_UNITS 32
#define SPTI_IO_PATH_LENGTH 261
#define SPTI_IO_MUTEX_WAIT 32000      // ms a command waits for its unit's mutex
#define SPTI_IO_TIMEOUT 32            // s, TimeOutValue of each request
#define SPTI_IO_SENSE_LENGTH 24       // sense bytes asked of the driver
#define SPTI_IO_RETRY_INTERVAL 100    // ms between repetitions after ERROR_GEN_FAILURE
#define SPTI_IO_RETRY_LIMIT 32000     // ms of repetitions after the first ERROR_GEN_FAILURE
#define SPTI_IO_LOCK_TRIES 16
#define SPTI_IO_LOCK_INTERVAL 500     // ms after each refused volume lock
#define SPTI_IO_LOCK_LIMIT 8000       // ms of those sleeps in all

// One unit found by the last enumeration.
struct SptiIoUnit {
    HANDLE mutex;                      // inter-process mutex, named after the discovery number
    HANDLE device;                     // open device handle, null while closed
    LONG driveLetter;                  // upper-case letter, 0 when found through its volume name
    DWORD number;                      // discovery number
    BOOL volumeLocked;                 // this transport holds FSCTL_LOCK_VOLUME on `device`
    SCSI_ADDRESS address;
    BYTE inquiry[96];                  // the first 36 bytes hold the unit's INQUIRY data
    SptiIoBlock block;
    CHAR devicePath[SPTI_IO_PATH_LENGTH];
    CHAR volumeName[SPTI_IO_PATH_LENGTH];  // of a unit found by drive letter, else empty
};

struct SptiIoState {
    SptiIoUnit units[SPTI_IO_MAX_UNITS];
    DWORD count;
    OSVERSIONINFOA version;
};

// The transport's process-wide state.
extern SptiIoState g_sptiIo;

// The version query run before installation: fills the version record; always returns 1.
BOOL SptiIoInit(void);

// The ten host-interface operations of this transport.
const HostInterface* SptiIoInterface(void);

DWORD SptiIoEnumerate(HostIoFilter filter, const char* deviceClass);
// Opens the candidate in `unit`, asks it for INQUIRY and keeps it when the filter accepts it.
BOOL SptiIoProbe(HostIoFilter filter, SptiIoUnit* unit);
BOOL SptiIoOpen(SptiIoUnit* unit);
UnitStatus SptiIoExecute(SptiIoUnit* unit, BYTE direction, BYTE cdbLength, void* data, DWORD length);
BOOL SptiIoLockVolume(SptiIoUnit* unit);
BOOL SptiIoUnlockVolume(SptiIoUnit* unit);
void SptiIoClose(SptiIoUnit* unit);
// Orders units by SCSI address: addresses that were read first, then port, path, target, LUN.
int SptiIoCompare(const SptiIoUnit* a, const SptiIoUnit* b);
