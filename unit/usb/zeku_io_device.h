// What the vendor USB driver expects (its interface class, control codes, pipe file names and the
// command request) and the transport's per-device records with the steps of one command: find the
// device path, open the device and its pipes, exchange a command, recover a pipe, request sense.
// zeku_io.h builds the unit operations from these.
#pragma once

#include <cstddef>

#include "host/host_io.h"
#include "platform/win32_setupapi.h"
#include "platform/win32_types.h"
#include "unit/usb/zeku_io.h"

// The driver's device interface class {2FFB2401-F3D1-11D5-81DD-00010258D039}.
extern const GUID ZEKUIO_INTERFACE_CLASS;

// The driver's control codes: device type FILE_DEVICE_UNKNOWN, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr DWORD ZekuIoControlCode(DWORD function)
{
    return (0x22u << 16) | (0u << 14) | (function << 2) | 0u;
}
// On the device handle; input: the command request (header and CDB), no output.
constexpr DWORD ZEKUIO_SEND_COMMAND = ZekuIoControlCode(4);
// On a pipe that failed; the second only after the first succeeded. No buffers.
constexpr DWORD ZEKUIO_RECOVER_PIPE_1 = ZekuIoControlCode(9);
constexpr DWORD ZEKUIO_RECOVER_PIPE_2 = ZekuIoControlCode(2);
static_assert(ZEKUIO_SEND_COMMAND == 0x00220010u, "send-command control code");
static_assert(ZEKUIO_RECOVER_PIPE_1 == 0x00220024u, "first pipe-recovery control code");
static_assert(ZEKUIO_RECOVER_PIPE_2 == 0x00220008u, "second pipe-recovery control code");

// Pipe files: the device path followed by "\if000pipe000" (data in), "...001" (data out) and
// "...002" (status), formed with this pattern from the path, interface 0 and the pipe number.
#define ZEKUIO_PIPE_NAME_FORMAT "%s\\if%03dpipe%03d"
enum { ZEKUIO_PIPE_DATA_IN = 0, ZEKUIO_PIPE_DATA_OUT = 1, ZEKUIO_PIPE_STATUS = 2 };

// Names of the per-device mutexes, one per device index.
#define ZEKUIO_MUTEX_NAME_FORMAT "ZekuIo/mutex/device/%02u"

// Device paths longer than this are refused (they could not be opened by an ANSI path anyway).
enum { ZEKUIO_MAX_DEVICE_PATH = MAX_PATH - 1 };
// The interface detail record is read into a buffer of this size; a larger one is refused.
enum { ZEKUIO_DETAIL_BUFFER = 512 };

// The command request as the driver reads it: a 16-byte header of little-endian fields
// (0x001B at 0, 2 at 4, 1 at 12, zero elsewhere) followed by the CDB. Only 16 + CDB length bytes
// are sent. The CDB area is the one ZekuIoGetCdb hands out; it persists between commands.
enum { ZEKUIO_REQUEST_HEADER_LENGTH = 16, ZEKUIO_CDB_AREA_LENGTH = 16 };
struct ZekuIoRequest {
    BYTE header[ZEKUIO_REQUEST_HEADER_LENGTH];
    BYTE cdb[ZEKUIO_CDB_AREA_LENGTH];
};
static_assert(sizeof(ZekuIoRequest) == 32, "the command request is 32 bytes with a full CDB area");
static_assert(offsetof(ZekuIoRequest, cdb) == ZEKUIO_REQUEST_HEADER_LENGTH, "the CDB follows the header");

// One device index. The handles are open only during one command.
struct ZekuIoDevice {
    HANDLE deviceHandle;
    HANDLE dataInPipe;   // pipe 0: data from the device
    HANDLE dataOutPipe;  // pipe 1: data to the device
    HANDLE statusPipe;   // pipe 2: 2-byte status after each command
    ZekuIoRequest request;
    BYTE statusBlock[2];  // ASC, ASCQ of the last command; both 0 on success
};

// The transport's process-wide state: the mutexes (null when not created) and the device records.
struct ZekuIoState {
    HANDLE mutexes[ZEKUIO_MAX_DEVICES];
    ZekuIoDevice devices[ZEKUIO_MAX_DEVICES];
};
extern ZekuIoState g_zekuIo;

// ZekuIoExchange's answer after a failed data phase that was not a CRC error: the pipe has been
// recovered and the caller asks the device for sense.
#define ZEKUIO_SENSE_NEEDED 0x100u
// A failed exchange with the device: command request refused, CRC error, status not read.
#define ZEKUIO_EXCHANGE_FAILED 2u

// The mutex of device index n, shared with every process and account (null DACL); null on failure.
HANDLE ZekuIoCreateMutex(DWORD n);

// Whether the enumeration of present interfaces of the class returns member n (a new set each call).
bool ZekuIoDeviceExists(DWORD n);
// The device path of member n into `path` (pathSize bytes, terminated). False when the member does
// not exist, its detail record is larger than ZEKUIO_DETAIL_BUFFER or its path longer than
// ZEKUIO_MAX_DEVICE_PATH or the buffer.
bool ZekuIoDevicePath(DWORD n, char* path, size_t pathSize);

// Opens the device file and the three pipe files of index n into its record (all or none); a record
// already open is returned as it is. Null when n is out of range or any file cannot be opened.
ZekuIoDevice* ZekuIoOpenDevice(DWORD n);
// Closes whichever of the four handles are open (status pipe first, device last) and clears them.
void ZekuIoCloseDevice(ZekuIoDevice* device);

// One command with the CDB already in the record's area: command request, data phase, status phase.
// Returns the status block packed as (ASC << 24) | (ASCQ << 16), ZEKUIO_EXCHANGE_FAILED, or
// ZEKUIO_SENSE_NEEDED. cdbLength is at most 16.
UnitStatus ZekuIoExchange(ZekuIoDevice* device, DWORD direction, DWORD cdbLength, void* data, DWORD length);
// Asks the driver to recover a pipe: the first control code, and the second only if that succeeded.
void ZekuIoRecoverPipe(HANDLE pipe);
// REQUEST SENSE (18 bytes) with the CDB area saved and restored around it: the packed sense, or
// ZEKUIO_EXCHANGE_FAILED when that exchange fails.
UnitStatus ZekuIoRequestSense(ZekuIoDevice* device);
