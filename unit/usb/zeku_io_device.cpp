// One command on one device: opening the device and its pipe files, the exchange of command
// request, data and status with the driver, pipe recovery and REQUEST SENSE.
#include <cstdio>
#include <cstring>

#include "host/sense_status.h"
#include "host/transport_records.h"
#include "platform/system_table.h"
#include "unit/usb/zeku_io_device.h"

ZekuIoState g_zekuIo;

namespace {

HANDLE OpenFile(const char* path)
{
    HANDLE file = g_sys.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

// The pipe file of `pipe` below the device path; null when the name does not fit a path.
HANDLE OpenPipe(const char* devicePath, int pipe)
{
    char name[MAX_PATH];
    const int length = std::snprintf(name, sizeof name, ZEKUIO_PIPE_NAME_FORMAT, devicePath, 0, pipe);
    if (length < 0 || static_cast<size_t>(length) >= sizeof name) {
        g_sys.SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return nullptr;
    }
    return OpenFile(name);
}

void PutLittleEndian(BYTE* at, DWORD value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        at[i] = static_cast<BYTE>(value >> (8 * i));
}

// The header values the driver expects before every command; bytes 2..3 and 14..15 stay as they
// are (zero since the record was cleared).
void WriteRequestHeader(ZekuIoRequest* request)
{
    BYTE* header = request->header;
    PutLittleEndian(header + 0, 0x001B, 2);
    PutLittleEndian(header + 4, 2, 4);
    header[8] = 0;
    header[9] = 0;
    PutLittleEndian(header + 10, 0, 2);
    PutLittleEndian(header + 12, 1, 2);
}

}  // namespace

ZekuIoDevice* ZekuIoOpenDevice(DWORD n)
{
    if (n >= ZEKUIO_MAX_DEVICES) {
        g_sys.SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    ZekuIoDevice* device = &g_zekuIo.devices[n];
    if (device->deviceHandle)
        return device;
    char path[MAX_PATH];
    if (!ZekuIoDevicePath(n, path, sizeof path))
        return nullptr;
    device->deviceHandle = OpenFile(path);
    if (device->deviceHandle)
        device->dataInPipe = OpenPipe(path, ZEKUIO_PIPE_DATA_IN);
    if (device->dataInPipe)
        device->dataOutPipe = OpenPipe(path, ZEKUIO_PIPE_DATA_OUT);
    if (device->dataOutPipe)
        device->statusPipe = OpenPipe(path, ZEKUIO_PIPE_STATUS);
    if (!device->statusPipe) {
        const DWORD error = g_sys.GetLastError();
        ZekuIoCloseDevice(device);
        g_sys.SetLastError(error);
        return nullptr;
    }
    return device;
}

void ZekuIoCloseDevice(ZekuIoDevice* device)
{
    HostIoCloseHandle(&device->statusPipe);
    HostIoCloseHandle(&device->dataOutPipe);
    HostIoCloseHandle(&device->dataInPipe);
    HostIoCloseHandle(&device->deviceHandle);
}

void ZekuIoRecoverPipe(HANDLE pipe)
{
    DWORD returned = 0;
    if (g_sys.DeviceIoControl(pipe, ZEKUIO_RECOVER_PIPE_1, nullptr, 0, nullptr, 0, &returned, nullptr))
        g_sys.DeviceIoControl(pipe, ZEKUIO_RECOVER_PIPE_2, nullptr, 0, nullptr, 0, &returned, nullptr);
}

UnitStatus ZekuIoExchange(ZekuIoDevice* device, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    const BYTE n = static_cast<BYTE>(cdbLength);
    if (n > ZEKUIO_CDB_AREA_LENGTH)
        return ZEKUIO_EXCHANGE_FAILED;
    WriteRequestHeader(&device->request);
    DWORD returned = 0;
    if (!g_sys.DeviceIoControl(device->deviceHandle, ZEKUIO_SEND_COMMAND, &device->request,
                               ZEKUIO_REQUEST_HEADER_LENGTH + n, nullptr, 0, &returned, nullptr))
        return ZEKUIO_EXCHANGE_FAILED;

    // Data phase: the whole length in one transfer; the count moved is not looked at.
    HANDLE pipe = nullptr;
    BOOL moved = TRUE;
    DWORD done = 0;
    const BYTE way = static_cast<BYTE>(direction);
    if (way == UnitDataIn && length != 0) {
        pipe = device->dataInPipe;
        moved = g_sys.ReadFile(pipe, data, length, &done, nullptr);
    } else if (way == UnitDataOut && length != 0) {
        pipe = device->dataOutPipe;
        moved = g_sys.WriteFile(pipe, data, length, &done, nullptr);
    }
    if (!moved) {
        if (g_sys.GetLastError() == ERROR_CRC)
            return ZEKUIO_EXCHANGE_FAILED;
        ZekuIoRecoverPipe(pipe);
        return ZEKUIO_SENSE_NEEDED;
    }

    // Status phase. The block is cleared first and must arrive whole, so that a short read never
    // passes off the previous command's status (or none) as this one's.
    std::memset(device->statusBlock, 0, sizeof device->statusBlock);
    DWORD got = 0;
    if (!g_sys.ReadFile(device->statusPipe, device->statusBlock, sizeof device->statusBlock, &got, nullptr)) {
        if (g_sys.GetLastError() != ERROR_CRC)
            ZekuIoRecoverPipe(device->statusPipe);
        return ZEKUIO_EXCHANGE_FAILED;
    }
    if (got != sizeof device->statusBlock)
        return ZEKUIO_EXCHANGE_FAILED;
    return UnitStatus(device->statusBlock[0]) << 24 | UnitStatus(device->statusBlock[1]) << 16;
}

UnitStatus ZekuIoRequestSense(ZekuIoDevice* device)
{
    BYTE saved[ZEKUIO_CDB_AREA_LENGTH];
    std::memcpy(saved, device->request.cdb, sizeof saved);
    static const BYTE REQUEST_SENSE[7] = {0x03, 0x00, 0x00, 0x00, 0x12, 0x00, 0x00};
    std::memcpy(device->request.cdb, REQUEST_SENSE, sizeof REQUEST_SENSE);

    // Zeroed, so that a short answer reads as zeros, never as stale bytes.
    BYTE sense[18] = {};
    const UnitStatus exchanged = ZekuIoExchange(device, UnitDataIn, 6, sense, sizeof sense);
    std::memcpy(device->request.cdb, saved, sizeof saved);
    if (exchanged != 0)
        return ZEKUIO_EXCHANGE_FAILED;
    return HostIoSenseStatus(sense, sizeof sense);
}
