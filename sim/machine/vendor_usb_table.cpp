// The SetupAPI entries of the emulated machine's system table: they reach the vendor USB driver's
// device interfaces. The enumerator and window arguments are not looked at.
#include "sim/machine/emulated_machine.h"
#include "sim/machine/vendor_usb.h"

namespace {

EmulatedMachine& Machine()
{
    return *EmulatedMachine::Current();
}

HDEVINFO WINAPI EmulatedSetupDiGetClassDevsA(const GUID* classGuid, LPCSTR, HWND, DWORD flags)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("SetupDiGetClassDevsA", ERROR_NOT_ENOUGH_MEMORY))
        return INVALID_HANDLE_VALUE;
    DWORD error = 0;
    HDEVINFO set = machine.Usb().GetClassDevs(classGuid, flags, &error);
    if (set == INVALID_HANDLE_VALUE)
        g_sys.SetLastError(error);
    return set;
}

BOOL WINAPI EmulatedSetupDiEnumDeviceInterfaces(HDEVINFO set, PSP_DEVINFO_DATA deviceInfo, const GUID* interfaceClass,
                                                DWORD member, PSP_DEVICE_INTERFACE_DATA data)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("SetupDiEnumDeviceInterfaces", ERROR_NO_MORE_ITEMS))
        return FALSE;
    DWORD error = ERROR_INVALID_PARAMETER;
    // Interfaces are listed by class only; narrowing them to one device is not emulated.
    if (deviceInfo == nullptr && machine.Usb().EnumDeviceInterfaces(set, interfaceClass, member, data, &error))
        return TRUE;
    g_sys.SetLastError(error);
    return FALSE;
}

BOOL WINAPI EmulatedSetupDiGetDeviceInterfaceDetailA(HDEVINFO set, PSP_DEVICE_INTERFACE_DATA data,
                                                     PSP_DEVICE_INTERFACE_DETAIL_DATA_A detail, DWORD detailSize,
                                                     LPDWORD required, PSP_DEVINFO_DATA deviceInfo)
{
    EmulatedMachine& machine = Machine();
    if (machine.InjectedFailure("SetupDiGetDeviceInterfaceDetailA", ERROR_INVALID_PARAMETER))
        return FALSE;
    DWORD error = ERROR_INVALID_PARAMETER;
    if (deviceInfo == nullptr &&
        machine.Usb().GetDeviceInterfaceDetail(set, data, detail, detailSize, required, &error))
        return TRUE;
    g_sys.SetLastError(error);
    return FALSE;
}

BOOL WINAPI EmulatedSetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    DWORD error = 0;
    if (Machine().Usb().DestroyDeviceInfoList(set, &error))
        return TRUE;
    g_sys.SetLastError(error);
    return FALSE;
}

}  // namespace

void VendorUsbFillTable(SystemTable* t)
{
    t->SetupDiGetClassDevsA = EmulatedSetupDiGetClassDevsA;
    t->SetupDiEnumDeviceInterfaces = EmulatedSetupDiEnumDeviceInterfaces;
    t->SetupDiGetDeviceInterfaceDetailA = EmulatedSetupDiGetDeviceInterfaceDetailA;
    t->SetupDiDestroyDeviceInfoList = EmulatedSetupDiDestroyDeviceInfoList;
}
