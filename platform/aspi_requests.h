// The request blocks of the ASPI for Win32 manager (WNASPI32.DLL) and its two entry points, as the
// manager and its callers share them. No system header declares them; they are defined here for
// every build.
//
// The manager of the 9x family is a 32-bit module: on i686 the blocks have its exact layout, which
// the assertions below pin. A 64-bit build never meets that manager (a 64-bit process cannot load a
// 32-bit module, and 64-bit systems are all of the NT family); it talks only to the emulated
// manager, with the same blocks in their natural 64-bit layout: every field in the same order,
// pointers widened to 8 bytes and aligned to them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_types.h"

// The manager's entry points use the C calling convention.
#ifdef _WIN32
#define ASPI_ENTRY __cdecl
#else
#define ASPI_ENTRY
#endif

// SRB_Cmd: the request.
#define SC_HA_INQUIRY 0x00
#define SC_GET_DEV_TYPE 0x01
#define SC_EXEC_SCSI_CMD 0x02
#define SC_ABORT_SRB 0x03
#define SC_RESET_DEV 0x04

// SRB_Status: how the request stands.
#define SS_PENDING 0x00      // still running
#define SS_COMP 0x01         // completed without error
#define SS_ABORTED 0x02      // aborted by an abort request
#define SS_ABORT_FAIL 0x03   // the abort request found nothing to abort
#define SS_ERR 0x04          // completed with an error (see SRB_HaStat, SRB_TargStat, SenseArea)
#define SS_INVALID_CMD 0x80  // SRB_Cmd unknown
#define SS_INVALID_HA 0x81   // no such host adapter
#define SS_NO_DEVICE 0x82    // no device at the target and LUN
#define SS_INVALID_SRB 0xE0  // a field of the request is wrong
#define SS_FAILED_INIT 0xE4  // the manager is not initialised

// SRB_Flags of an SC_EXEC_SCSI_CMD request.
#define SRB_DIR_IN 0x08
#define SRB_DIR_OUT 0x10
#define SRB_EVENT_NOTIFY 0x40  // SRB_PostProc is an event handle, signalled at completion

// SRB_HaStat and SRB_TargStat values.
#define HASTAT_OK 0x00
#define HASTAT_SEL_TO 0x11   // selection timed out: nothing answered at the target
#define HASTAT_DO_DU 0x12    // data overrun or underrun
#define SCSISTAT_GOOD 0x00
#define SCSISTAT_CHECK_CONDITION 0x02

// Sense bytes asked of the manager; the sense area has two bytes more.
#define SENSE_LEN 14

// What GetASPI32SupportInfo returns: status in bits 8-15, host-adapter count in bits 0-7.
#define ASPI_SUPPORT_STATUS(info) (((info) >> 8) & 0xFFu)
#define ASPI_SUPPORT_ADAPTERS(info) ((info) & 0xFFu)

// The header every request block starts with.
typedef struct {
    BYTE SRB_Cmd;
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
} SRB_Header;

typedef struct {
    BYTE SRB_Cmd;        // SC_HA_INQUIRY
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE HA_Count;       // host adapters the manager knows
    BYTE HA_SCSI_ID;     // the adapter's own target id
    BYTE HA_ManagerId[16];
    BYTE HA_Identifier[16];
    BYTE HA_Unique[16];
    WORD HA_Rsvd1;
} SRB_HAInquiry;

typedef struct {
    BYTE SRB_Cmd;        // SC_EXEC_SCSI_CMD
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    BYTE SRB_Target;
    BYTE SRB_Lun;
    WORD SRB_Rsvd1;
    DWORD SRB_BufLen;
    BYTE* SRB_BufPointer;
    BYTE SRB_SenseLen;
    BYTE SRB_CDBLen;
    BYTE SRB_HaStat;
    BYTE SRB_TargStat;
    void* SRB_PostProc;  // the completion event with SRB_EVENT_NOTIFY
    BYTE SRB_Rsvd2[20];
    BYTE CDBByte[16];
    BYTE SenseArea[SENSE_LEN + 2];
} SRB_ExecSCSICmd;

typedef struct {
    BYTE SRB_Cmd;        // SC_ABORT_SRB
    BYTE SRB_Status;
    BYTE SRB_HaId;
    BYTE SRB_Flags;
    DWORD SRB_Hdr_Rsvd;
    void* SRB_ToAbort;   // the request block to abort
} SRB_Abort;

typedef DWORD(ASPI_ENTRY* SendASPI32CommandFunction)(void* srb);
typedef DWORD(ASPI_ENTRY* GetASPI32SupportInfoFunction)(void);

static_assert(sizeof(SRB_Header) == 8, "request header layout");
static_assert(offsetof(SRB_HAInquiry, HA_Count) == 8, "host-adapter inquiry layout");
static_assert(offsetof(SRB_HAInquiry, HA_ManagerId) == 10, "host-adapter inquiry layout");
static_assert(offsetof(SRB_HAInquiry, HA_Identifier) == 26, "host-adapter inquiry layout");
static_assert(offsetof(SRB_HAInquiry, HA_Unique) == 42, "host-adapter inquiry layout");
static_assert(sizeof(SRB_HAInquiry) == 60, "host-adapter inquiry layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Status) == 1, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaId) == 2, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Flags) == 3, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Hdr_Rsvd) == 4, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Target) == 8, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Lun) == 9, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd1) == 10, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufLen) == 12, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_BufPointer) == 16, "command request layout");

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 24, "64-bit command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 25, "64-bit command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 32, "64-bit command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 40, "64-bit command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 60, "64-bit command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 76, "64-bit command request layout");
static_assert(sizeof(SRB_ExecSCSICmd) == 96, "64-bit command request layout");
static_assert(sizeof(SRB_Abort) == 16, "64-bit abort request layout");
#else
// The manager's own layout.
static_assert(offsetof(SRB_ExecSCSICmd, SRB_SenseLen) == 20, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_CDBLen) == 21, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_HaStat) == 22, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_TargStat) == 23, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_PostProc) == 24, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SRB_Rsvd2) == 28, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, CDBByte) == 48, "command request layout");
static_assert(offsetof(SRB_ExecSCSICmd, SenseArea) == 64, "command request layout");
static_assert(sizeof(SRB_ExecSCSICmd) == 80, "command request layout");
static_assert(offsetof(SRB_Abort, SRB_ToAbort) == 8, "abort request layout");
static_assert(sizeof(SRB_Abort) == 12, "abort request layout");
#endif
