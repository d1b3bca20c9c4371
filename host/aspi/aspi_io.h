// The ASPI transport of the Windows 9x family. Not built yet: it never starts, so the host interface
// stays empty on that platform.
#pragma once

#include "host/host_io.h"

// Starts the transport. Fails with ERROR_NOT_SUPPORTED: no ASPI manager is used by this build.
BOOL AspiIoInit(void);

// The transport's ten operations; null while AspiIoInit cannot succeed.
const HostInterface* AspiIoInterface(void);
