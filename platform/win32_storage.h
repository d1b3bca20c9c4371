// The Windows NT storage stack's control codes and request structures: SCSI pass-through direct,
// the SCSI address, volume lock/unlock/dismount and disk eject/load. On Windows they come from the
// system headers; elsewhere they are defined here with the same values and with the same layout
// rules (natural alignment, so the 32-bit and the 64-bit layouts follow from the pointer size).
#pragma once

#include "platform/win32_types.h"

#ifdef _WIN32
#include <winioctl.h>
#include <ntddscsi.h>
#else

typedef struct _SCSI_PASS_THROUGH_DIRECT {
    USHORT Length;
    UCHAR ScsiStatus;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
    UCHAR CdbLength;
    UCHAR SenseInfoLength;
    UCHAR DataIn;
    ULONG DataTransferLength;
    ULONG TimeOutValue;
    void* DataBuffer;
    ULONG SenseInfoOffset;
    UCHAR Cdb[16];
} SCSI_PASS_THROUGH_DIRECT, *PSCSI_PASS_THROUGH_DIRECT;

typedef struct _SCSI_ADDRESS {
    ULONG Length;
    UCHAR PortNumber;
    UCHAR PathId;
    UCHAR TargetId;
    UCHAR Lun;
} SCSI_ADDRESS, *PSCSI_ADDRESS;

#define SCSI_IOCTL_DATA_OUT 0
#define SCSI_IOCTL_DATA_IN 1
#define SCSI_IOCTL_DATA_UNSPECIFIED 2

#define IOCTL_SCSI_PASS_THROUGH_DIRECT 0x0004D014u
#define IOCTL_SCSI_GET_ADDRESS 0x00041018u
#define FSCTL_LOCK_VOLUME 0x00090018u
#define FSCTL_UNLOCK_VOLUME 0x0009001Cu
#define FSCTL_DISMOUNT_VOLUME 0x00090020u
#define IOCTL_DISK_EJECT_MEDIA 0x00074808u
#define IOCTL_DISK_LOAD_MEDIA 0x0007480Cu

#endif  // _WIN32
