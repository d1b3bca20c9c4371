#include "host/aspi/aspi_io.h"

#include "platform/system_table.h"

BOOL AspiIoInit(void)
{
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
}

const HostInterface* AspiIoInterface(void)
{
    return nullptr;
}
