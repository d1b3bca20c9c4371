// The SCSI generic transport's own seam: the few device calls it makes, in one table, so that its
// scan, probe, status and lock rules run against simulated units in tests. The Linux table reaches
// /sys/class/scsi_generic, /dev/sgN and the unit's block device; a test installs a table of its own
// with SgDeviceCallsInstall and puts the Linux one back with SgDeviceCallsReset.
//
// Every call that can fail returns a negative errno value, as the kernel does; descriptors are the
// calls' own (the simulated table hands out numbers of its own).
#pragma once

#include <vector>

#include "platform/win32_types.h"

// Data phase of one request.
enum SgTransfer { SgTransferNone, SgTransferIn, SgTransferOut };

// Where a device sits: SCSI host adapter number, channel, target id and LUN.
struct SgScsiAddress {
    int host;
    int channel;
    int id;
    int lun;
};

// One SCSI command as SG_IO carries it.
struct SgRequest {
    // Filled by the caller.
    SgTransfer transfer;
    const BYTE* cdb;
    BYTE cdbLength;             // 1..16
    void* data;                 // null when length is 0
    DWORD length;
    BYTE* sense;                // receives sense data, up to senseCapacity bytes
    BYTE senseCapacity;
    DWORD timeoutMs;
    // Filled by the call when it returns 0.
    BYTE scsiStatus;            // the target's status byte
    WORD hostStatus;            // host adapter's verdict, 0 when it carried the command
    WORD driverStatus;          // the kernel driver's verdict; DRIVER_SENSE (8) only says sense came
    BYTE senseLength;           // sense bytes written, at most senseCapacity
};

struct SgDeviceCalls {
    // The numbers N of the devices sgN present now, ascending. 0, or -errno when they cannot be
    // listed; a system without SCSI generic devices gives an empty list and 0.
    int (*ListDevices)(std::vector<unsigned>* numbers);
    // Opens sgN read-write and non-blocking (so that another program's exclusive open makes this
    // fail at once instead of waiting). The descriptor, or -errno.
    int (*Open)(unsigned number);
    // Carries one request to the device and waits for its end (SG_IO). 0 when the kernel ran it,
    // whatever the unit answered (see the request's outputs); -errno when it did not. Called with
    // catchable signals held; it never sends the request a second time.
    int (*Execute)(int fd, SgRequest* request);
    // The device's SCSI address (SG_GET_SCSI_ID). 0 or -errno.
    int (*GetScsiAddress)(int fd, SgScsiAddress* address);
    // Opens sgN's block device exclusively (O_EXCL: refused while it is mounted or exclusively
    // open elsewhere). 0 with *fd the descriptor; 0 with *fd -1 when sgN has no block device;
    // -errno when it has one that could not be opened so (-EBUSY while in use).
    int (*OpenBlockExclusive)(unsigned number, int* fd);
    void (*Close)(int fd);
};

// The calls in force; the transport calls through it.
extern SgDeviceCalls g_sgDevices;

// The calls of the running Linux system.
const SgDeviceCalls& SgLinuxDeviceCalls(void);

void SgDeviceCallsInstall(const SgDeviceCalls& calls);
void SgDeviceCallsReset(void);
