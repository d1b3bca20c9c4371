// The vendor USB driver transport. This is the honest placeholder of a system without that driver:
// opening creates the 32 per-device mutexes, counting finds no device, and every per-unit operation
// answers as for a device index out of range.
#pragma once

#include "host/host_io.h"
#include "platform/win32_types.h"

enum { ZEKUIO_MAX_DEVICES = 32 };

// 1 when all 32 mutexes ("ZekuIo/mutex/device/00" .. "31") exist, 0 otherwise (then none is kept).
DWORD ZekuIoOpen(void);
void ZekuIoClose(void);
// Devices present, 0..32.
DWORD ZekuIoCount(void);

// Operations bound into the entries of vendor-USB units.
BYTE* ZekuIoGetCdb(DWORD index);
UnitStatus ZekuIoExecute(DWORD index, DWORD direction, DWORD cdbLength, void* data, DWORD length);
BOOL ZekuIoGetDriveLetter(DWORD index, DWORD* letter);
BOOL ZekuIoGetDeviceNumber(DWORD index, DWORD* number);
BOOL ZekuIoLoadMedium(DWORD index);
BOOL ZekuIoEjectMedium(DWORD index);
BOOL ZekuIoLock(DWORD index);
BOOL ZekuIoUnlock(DWORD index);
