// The pass-through block: the request structure of IOCTL_SCSI_PASS_THROUGH_DIRECT followed by a
// filler and the sense buffer. It is both the input and the output buffer of the request. 32-bit
// builds get the 80-byte layout the storage drivers of that platform expect; 64-bit builds the
// platform's own layout, with the sense buffer where SenseInfoOffset says.
#pragma once

#include <cstddef>

#include "platform/win32_storage.h"

#define SPTI_IO_SENSE_BUFFER 32

struct SptiIoBlock {
    SCSI_PASS_THROUGH_DIRECT request;  // its Cdb field is the unit's CDB area
    ULONG filler;
    UCHAR sense[SPTI_IO_SENSE_BUFFER];
};

static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Length) == 0, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, ScsiStatus) == 2, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, PathId) == 3, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TargetId) == 4, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Lun) == 5, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, CdbLength) == 6, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoLength) == 7, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataIn) == 8, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataTransferLength) == 12, "pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, TimeOutValue) == 16, "pass-through layout");
static_assert(sizeof(SCSI_ADDRESS) == 8, "SCSI address layout");

#if defined(_WIN64) || (!defined(_WIN32) && UINTPTR_MAX > 0xFFFFFFFFu)
// The platform's own 64-bit layout: the data pointer is aligned to 8 bytes.
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 24, "64-bit pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 32, "64-bit pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 36, "64-bit pass-through layout");
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 56, "64-bit pass-through layout");
static_assert(offsetof(SptiIoBlock, sense) == 60, "64-bit pass-through block");
static_assert(sizeof(SptiIoBlock) == 96, "64-bit pass-through block");
#else
// The 32-bit layout: 44 bytes of request, 4 of filler, 32 of sense.
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, DataBuffer) == 20, "32-bit pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, SenseInfoOffset) == 24, "32-bit pass-through layout");
static_assert(offsetof(SCSI_PASS_THROUGH_DIRECT, Cdb) == 28, "32-bit pass-through layout");
static_assert(sizeof(SCSI_PASS_THROUGH_DIRECT) == 44, "32-bit pass-through layout");
static_assert(offsetof(SptiIoBlock, filler) == 44, "32-bit pass-through block");
static_assert(offsetof(SptiIoBlock, sense) == 48, "32-bit pass-through block");
static_assert(sizeof(SptiIoBlock) == 80, "32-bit pass-through block");
#endif
