// Opening, closing and counting the two transports behind the unit table.
#include "unit/unit_transports.h"

#include "host/host_io.h"
#include "unit/unit_table.h"
#include "unit/usb/zeku_io.h"

namespace {

// Each side remembers that it was opened and how that went, until it is closed.
bool s_hostOpen = false;
DWORD s_hostOpenResult = 0;
bool s_usbOpen = false;
DWORD s_usbOpenResult = 0;

}  // namespace

DWORD UnitHostOpen(void)
{
    if (!s_hostOpen) {
        s_hostOpen = true;
        s_hostOpenResult = HostIoInit() ? 1 : 0;
    }
    return s_hostOpenResult;
}

DWORD UnitHostClose(void)
{
    s_hostOpen = false;
    return HostIoTerm() ? 1 : 0;
}

DWORD UnitHostCount(void)
{
    if (!s_hostOpen && !UnitHostOpen())
        return 0;
    return HostIoEnumerate(UnitIdentityFilter, UNIT_DEVICE_CLASS);
}

DWORD UnitUsbOpen(void)
{
    if (!s_usbOpen) {
        s_usbOpenResult = ZekuIoOpen();
        s_usbOpen = true;
    }
    return s_usbOpenResult;
}

DWORD UnitUsbClose(void)
{
    if (s_usbOpen) {
        ZekuIoClose();
        s_usbOpen = false;
    }
    return 1;
}

DWORD UnitUsbCount(void)
{
    if (!s_usbOpen && !UnitUsbOpen())
        return 0;
    return ZekuIoCount();
}
