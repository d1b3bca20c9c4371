// The VWIN32 device of the 9x family: MS-DOS services reached through DeviceIoControl on
// "\\.\VWIN32" with a block of the 32-bit registers as input and output. No system header declares
// it; it is defined here for every build.
#pragma once

#include "platform/win32_types.h"

// The service (DeviceIoControl's control code) that runs an MS-DOS IOCTL request, INT 21h function
// 44h; reg_EAX selects the subfunction (440Dh: generic IOCTL for block devices).
#define VWIN32_DIOC_DOS_IOCTL 1

// Bit 0 of reg_Flags: the carry flag, set by the service when the request failed (reg_EAX then
// holds the MS-DOS error code).
#define VWIN32_CARRY_FLAG 0x0001u

typedef struct {
    DWORD reg_EBX;
    DWORD reg_EDX;
    DWORD reg_ECX;
    DWORD reg_EAX;
    DWORD reg_EDI;
    DWORD reg_ESI;
    DWORD reg_Flags;
} DIOC_REGISTERS;

static_assert(sizeof(DIOC_REGISTERS) == 28, "register block layout");
