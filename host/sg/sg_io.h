// The SCSI generic transport: the host interface on Linux, reaching units through /dev/sgN and
// SG_IO. Installed by HostIoInit on the Linux platform id:
//
//     if (SgIoInit()) HostIoInstall(SgIoOperations());
//
// Units are found in /sys/class/scsi_generic, ordered by SCSI address, and each carries the named
// mutex "mutexSgIo/<device class>/<host>:<channel>:<target>:<lun>" (its SCSI address; "sg<N>" when
// the address cannot be read) that serialises commands to it across processes. Drive letters are not supported; lock and unlock take and give up an
// exclusive open of the unit's block device.
#pragma once

#include "host/host_io.h"

// Prepares the transport. It needs nothing from the system, so it always returns 1.
int SgIoInit(void);

// The transport's ten operations, ready for HostIoInstall.
const HostInterface* SgIoOperations(void);
