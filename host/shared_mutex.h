// Named mutexes that every account may open, for the per-unit mutexes the transports share with
// other processes.
#pragma once

#include "platform/win32_types.h"

// Creates (or, when it exists, opens) the named mutex with a null DACL: a GMEM_FIXED security
// descriptor of the minimum length (20 bytes on 32-bit systems), revision 1, and an inheritable
// handle; not owned. The descriptor is freed again. Null on failure, reason in the last error.
HANDLE HostIoCreateSharedMutex(const char* name);
