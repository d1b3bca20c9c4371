// The glue between the unit table and its two transports: the host interface and the vendor USB
// driver transport. Each side is opened at most once until it is closed; a failed opening is cached
// too, so it is not retried before the next close.
#pragma once

#include "platform/win32_types.h"

DWORD UnitHostOpen(void);
DWORD UnitHostClose(void);
// Units behind the host interface that UnitIdentityFilter accepts; 0 when the interface is not up.
DWORD UnitHostCount(void);

DWORD UnitUsbOpen(void);
DWORD UnitUsbClose(void);
// Vendor-USB devices present; 0 when the transport is not up.
DWORD UnitUsbCount(void);
