// Finding the driver's devices: the present interfaces of its class, their device paths and the
// count. Every call builds a new device information set and destroys it again, so an index always
// names the n-th interface present at that moment.
#include <cstring>

#include "platform/system_table.h"
#include "unit/usb/zeku_io_device.h"

// The records SetupAPI checks by their size field: 28 and 5 bytes for 32-bit programs, 32 and 8
// for 64-bit ones.
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == (sizeof(void*) == 8 ? 32 : 28), "interface record size");
static_assert(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) == sizeof(DWORD), "path follows the size");
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == (sizeof(void*) == 8 ? 8 : 5), "detail record size");

const GUID ZEKUIO_INTERFACE_CLASS = {0x2FFB2401, 0xF3D1, 0x11D5, {0x81, 0xDD, 0x00, 0x01, 0x02, 0x58, 0xD0, 0x39}};

namespace {

// A device information set of the present interfaces of the class, with member n in *data.
// On success the caller destroys the set.
HDEVINFO OpenMember(DWORD n, SP_DEVICE_INTERFACE_DATA* data)
{
    HDEVINFO set = g_sys.SetupDiGetClassDevsA(&ZEKUIO_INTERFACE_CLASS, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == nullptr || set == INVALID_HANDLE_VALUE)
        return nullptr;
    std::memset(data, 0, sizeof *data);
    data->cbSize = sizeof *data;
    if (!g_sys.SetupDiEnumDeviceInterfaces(set, nullptr, &ZEKUIO_INTERFACE_CLASS, n, data)) {
        DWORD error = g_sys.GetLastError();
        g_sys.SetupDiDestroyDeviceInfoList(set);
        g_sys.SetLastError(error);
        return nullptr;
    }
    return set;
}

// The path in the detail record of member `data`, copied into `path`.
bool CopyDevicePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data, char* path, size_t pathSize)
{
    DWORD required = 0;
    if (g_sys.SetupDiGetDeviceInterfaceDetailA(set, data, nullptr, 0, &required, nullptr) ||
        g_sys.GetLastError() != ERROR_INSUFFICIENT_BUFFER || required > ZEKUIO_DETAIL_BUFFER)
        return false;

    // DWORD-aligned, as the record starts with its size field.
    DWORD buffer[ZEKUIO_DETAIL_BUFFER / sizeof(DWORD)] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!g_sys.SetupDiGetDeviceInterfaceDetailA(set, data, detail, required, nullptr, nullptr))
        return false;

    // Whatever the driver wrote, the path is read only within the buffer and must end in it.
    const size_t room = sizeof buffer - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const char* found = detail->DevicePath;
    const void* end = std::memchr(found, '\0', room);
    const size_t length = end ? static_cast<size_t>(static_cast<const char*>(end) - found) : room;
    if (!end || length > ZEKUIO_MAX_DEVICE_PATH || length >= pathSize) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return false;
    }
    std::memcpy(path, found, length + 1);
    return true;
}

}  // namespace

bool ZekuIoDeviceExists(DWORD n)
{
    SP_DEVICE_INTERFACE_DATA data;
    HDEVINFO set = OpenMember(n, &data);
    if (!set)
        return false;
    g_sys.SetupDiDestroyDeviceInfoList(set);
    return true;
}

bool ZekuIoDevicePath(DWORD n, char* path, size_t pathSize)
{
    SP_DEVICE_INTERFACE_DATA data;
    HDEVINFO set = OpenMember(n, &data);
    if (!set)
        return false;
    const bool copied = CopyDevicePath(set, &data, path, pathSize);
    const DWORD error = g_sys.GetLastError();
    g_sys.SetupDiDestroyDeviceInfoList(set);
    g_sys.SetLastError(error);
    return copied;
}

DWORD ZekuIoCount(void)
{
    DWORD n = 0;
    while (n < ZEKUIO_MAX_DEVICES && ZekuIoDeviceExists(n))
        ++n;
    std::memset(g_zekuIo.devices, 0, sizeof g_zekuIo.devices);
    return n;
}
