// The iSCSI protocol data unit as it crosses the wire: the 48-byte basic header segment, the
// opcodes and field offsets this target uses, and the serial-number arithmetic of the sequence
// numbers. Header and data digests are never negotiated, so a PDU is the header, its additional
// header segments and its data segment padded to four bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/unit/cdb_fields.h"

constexpr size_t ISCSI_BHS_LENGTH = 48;
constexpr size_t ISCSI_MAX_AHS_LENGTH = 255 * 4;
constexpr uint32_t ISCSI_RESERVED_TAG = 0xFFFFFFFF;

enum IscsiOpcode : uint8_t {
    // from the initiator
    ISCSI_OP_NOP_OUT = 0x00,
    ISCSI_OP_SCSI_COMMAND = 0x01,
    ISCSI_OP_TASK_MANAGEMENT = 0x02,
    ISCSI_OP_LOGIN = 0x03,
    ISCSI_OP_TEXT = 0x04,
    ISCSI_OP_DATA_OUT = 0x05,
    ISCSI_OP_LOGOUT = 0x06,
    ISCSI_OP_SNACK = 0x10,
    // from the target
    ISCSI_OP_NOP_IN = 0x20,
    ISCSI_OP_SCSI_RESPONSE = 0x21,
    ISCSI_OP_TASK_MANAGEMENT_RESPONSE = 0x22,
    ISCSI_OP_LOGIN_RESPONSE = 0x23,
    ISCSI_OP_TEXT_RESPONSE = 0x24,
    ISCSI_OP_DATA_IN = 0x25,
    ISCSI_OP_LOGOUT_RESPONSE = 0x26,
    ISCSI_OP_R2T = 0x31,
    ISCSI_OP_REJECT = 0x3F,
};

// Byte 0: the immediate-delivery bit and the opcode. Byte 1: the final bit and opcode-specific flags.
constexpr uint8_t ISCSI_IMMEDIATE = 0x40;
constexpr uint8_t ISCSI_OPCODE_MASK = 0x3F;
constexpr uint8_t ISCSI_FINAL = 0x80;
constexpr uint8_t ISCSI_CONTINUE = 0x40;         // login and text: more text follows
constexpr uint8_t ISCSI_COMMAND_READ = 0x40;     // SCSI Command
constexpr uint8_t ISCSI_COMMAND_WRITE = 0x20;
constexpr uint8_t ISCSI_DATA_STATUS = 0x01;      // Data-In carries the status
constexpr uint8_t ISCSI_RESIDUAL_UNDERFLOW = 0x02;

// Fields are big-endian (sim/unit/cdb_fields.h). Offsets shared by several PDUs (requests carry CmdSN and ExpStatSN where responses carry
// StatSN and ExpCmdSN).
enum : size_t {
    ISCSI_AT_AHS_LENGTH = 4,
    ISCSI_AT_DATA_LENGTH = 5,
    ISCSI_AT_LUN = 8,
    ISCSI_AT_ISID = 8,
    ISCSI_AT_TSIH = 14,
    ISCSI_AT_ITT = 16,
    ISCSI_AT_TTT = 20,            // also the expected transfer length of a command, the task a TMF refers to
    ISCSI_AT_CID = 20,            // login and logout
    ISCSI_AT_CMD_SN = 24,
    ISCSI_AT_STAT_SN = 24,
    ISCSI_AT_EXP_CMD_SN = 28,
    ISCSI_AT_MAX_CMD_SN = 32,
    ISCSI_AT_REF_CMD_SN = 32,     // task management
    ISCSI_AT_CDB = 32,
    ISCSI_AT_DATA_SN = 36,        // also R2TSN and ExpDataSN
    ISCSI_AT_LOGIN_STATUS = 36,
    ISCSI_AT_BUFFER_OFFSET = 40,
    ISCSI_AT_TIME2WAIT = 40,      // logout response
    ISCSI_AT_RESIDUAL = 44,       // also the desired length of an R2T
};

constexpr size_t ISCSI_CDB_LENGTH = 16;

enum IscsiRejectReason : uint8_t {
    ISCSI_REJECT_SNACK = 0x03,
    ISCSI_REJECT_PROTOCOL_ERROR = 0x04,
    ISCSI_REJECT_NOT_SUPPORTED = 0x05,
    ISCSI_REJECT_IMMEDIATE_COMMAND = 0x06,
    ISCSI_REJECT_INVALID_FIELD = 0x09,
};

inline uint8_t IscsiOpcodeOf(const uint8_t* header) { return header[0] & ISCSI_OPCODE_MASK; }
inline bool IscsiIsImmediate(const uint8_t* header) { return (header[0] & ISCSI_IMMEDIATE) != 0; }

// Bytes after the header: additional header segments, then the data segment padded to four bytes.
inline size_t IscsiPaddedLength(size_t length) { return (length + 3) & ~size_t(3); }

// Serial-number comparison of 32-bit sequence numbers: a before b.
inline bool IscsiSnBefore(uint32_t a, uint32_t b) { return a != b && static_cast<int32_t>(a - b) < 0; }

// The logical unit number of an 8-byte LUN field in the peripheral or flat addressing method; -1
// for any other form.
long IscsiLunNumber(const uint8_t* field);
