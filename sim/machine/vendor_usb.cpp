#include "sim/machine/vendor_usb.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "sim/machine/emulated_machine.h"

const GUID VENDOR_USB_INTERFACE_CLASS = {0x2FFB2401, 0xF3D1, 0x11D5, {0x81, 0xDD, 0x00, 0x01, 0x02, 0x58, 0xD0, 0x39}};

namespace {

// The header every command request must carry.
const BYTE REQUEST_HEADER[16] = {0x1B, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

// A device information set: the device paths of the interfaces it lists, in order.
struct UsbInterfaceSet : HandleObject {
    std::vector<std::string> paths;
};

bool SameGuid(const GUID* a, const GUID& b)
{
    return a != nullptr && std::memcmp(a, &b, sizeof b) == 0;
}

std::string MadeUpDevicePath(size_t index)
{
    char path[128];
    std::snprintf(path, sizeof path, "\\\\?\\usb#vid_0f6e&pid_0a57#qzv57%04u#{2ffb2401-f3d1-11d5-81dd-00010258d039}",
                  static_cast<unsigned>(index + 1));
    return path;
}

}  // namespace

bool UsbDeviceFile::Open(DeviceHandle&, DWORD* error)
{
    return m_device.Open(m_file, error);
}

void UsbDeviceFile::Closed(DeviceHandle&)
{
    m_device.Closed();
}

BOOL UsbDeviceFile::Control(DeviceHandle&, DWORD code, void* in, DWORD inSize, void*, DWORD, DWORD* returned,
                            DWORD* error)
{
    *returned = 0;
    return m_device.Control(m_file, code, in, inSize, error);
}

BOOL UsbDeviceFile::Read(DeviceHandle&, void* buffer, DWORD length, DWORD* done, DWORD* error)
{
    *done = 0;
    if (m_file == USB_PIPE_DATA_IN)
        return m_device.Transfer(m_file, static_cast<BYTE*>(buffer), length, false, done, error);
    if (m_file == USB_PIPE_STATUS)
        return m_device.ReadStatus(static_cast<BYTE*>(buffer), length, done, error);
    *error = ERROR_INVALID_FUNCTION;
    return FALSE;
}

BOOL UsbDeviceFile::Write(DeviceHandle&, const void* buffer, DWORD length, DWORD* done, DWORD* error)
{
    *done = 0;
    if (m_file == USB_PIPE_DATA_OUT)
        return m_device.Transfer(m_file, static_cast<BYTE*>(const_cast<void*>(buffer)), length, true, done, error);
    *error = ERROR_INVALID_FUNCTION;
    return FALSE;
}

UsbDevice::UsbDevice(VendorUsb& driver, SimUnit* unit, const std::string& devicePath)
    : m_driver(driver), m_unit(unit), m_devicePath(devicePath)
{
    for (int file = USB_DEVICE_FILE; file <= USB_PIPE_STATUS; ++file)
        m_files[file + 1] = std::make_unique<UsbDeviceFile>(*this, static_cast<UsbFile>(file));
}

std::string UsbDevice::FilePath(UsbFile file) const
{
    if (file == USB_DEVICE_FILE)
        return m_devicePath;
    char suffix[32];
    std::snprintf(suffix, sizeof suffix, "\\if%03dpipe%03d", 0, static_cast<int>(file));
    return m_devicePath + suffix;
}

void UsbDevice::FailOpen(UsbFile file, DWORD error, unsigned times)
{
    m_openFaults.push_back(Fault{static_cast<DWORD>(file), error, times});
}

void UsbDevice::FailControl(DWORD code, DWORD error, unsigned times)
{
    m_controlFaults.push_back(Fault{code, error, times});
}

void UsbDevice::FailPipe(UsbFile pipe, DWORD error, unsigned times)
{
    m_pipeFaults.push_back(Fault{static_cast<DWORD>(pipe), error, times});
}

unsigned UsbDevice::Opens(UsbFile file) const
{
    auto found = m_opens.find(file);
    return found == m_opens.end() ? 0 : found->second;
}

void UsbDevice::ClearFaults()
{
    m_openFaults.clear();
    m_controlFaults.clear();
    m_pipeFaults.clear();
    m_scriptedStatus.clear();
}

void UsbDevice::ClearRecords()
{
    m_requests.clear();
    m_transfers.clear();
    m_pipeControls.clear();
    m_opens.clear();
}

bool UsbDevice::Take(std::vector<Fault>& faults, DWORD key, DWORD* error)
{
    for (auto fault = faults.begin(); fault != faults.end(); ++fault) {
        if (fault->key != key)
            continue;
        *error = fault->error;
        if (fault->remaining != ALWAYS && --fault->remaining == 0)
            faults.erase(fault);
        return true;
    }
    return false;
}

bool UsbDevice::Open(UsbFile file, DWORD* error)
{
    if (!Present()) {
        *error = ERROR_FILE_NOT_FOUND;
        return false;
    }
    if (Take(m_openFaults, static_cast<DWORD>(file), error))
        return false;
    ++m_opens[file];
    ++m_openHandles;
    return true;
}

BOOL UsbDevice::Control(UsbFile file, DWORD code, const void* in, DWORD inSize, DWORD* error)
{
    if (file != USB_DEVICE_FILE)
        m_pipeControls.push_back(UsbPipeControl{file, code});
    if (Take(m_controlFaults, code, error))
        return FALSE;
    if (file == USB_DEVICE_FILE) {
        if (code == VENDOR_USB_SEND_COMMAND)
            return SendCommand(in, inSize, error);
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    if (code != VENDOR_USB_RECOVER_PIPE_1 && code != VENDOR_USB_RECOVER_PIPE_2) {
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    if (inSize != 0) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    Pipe& pipe = m_pipes[file];
    if (code == VENDOR_USB_RECOVER_PIPE_1) {
        pipe.recoveryStarted = true;
    } else if (pipe.recoveryStarted) {
        pipe.recoveryStarted = false;
        pipe.halted = false;
    }
    return TRUE;
}

BOOL UsbDevice::SendCommand(const void* in, DWORD inSize, DWORD* error)
{
    const BYTE* request = static_cast<const BYTE*>(in);
    if (request == nullptr || inSize <= sizeof REQUEST_HEADER || inSize > sizeof REQUEST_HEADER + 16) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    m_requests.emplace_back(request, request + inSize);
    if (std::memcmp(request, REQUEST_HEADER, sizeof REQUEST_HEADER) != 0) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (!Present()) {
        m_driver.NoticePresenceChanges();
        *error = ERROR_DEVICE_NOT_CONNECTED;
        return FALSE;
    }
    m_command = Command();
    m_command.active = true;
    m_command.cdb.assign(request + sizeof REQUEST_HEADER, request + inSize);
    return TRUE;
}

bool UsbDevice::CarryOut(SimDirection direction, BYTE* data, DWORD length)
{
    m_command.carriedOut = true;
    m_command.result = m_unit->Execute(m_command.cdb.data(), m_command.cdb.size(), direction, data, length);
    if (m_command.result.deviceGone) {
        m_command.active = false;
        m_driver.NoticePresenceChanges();
        return false;
    }
    return true;
}

bool UsbDevice::PipeFault(UsbFile pipe, DWORD* error)
{
    if (!Take(m_pipeFaults, static_cast<DWORD>(pipe), error))
        return false;
    if (*error != ERROR_CRC)
        m_pipes[pipe].halted = true;
    return true;
}

BOOL UsbDevice::Transfer(UsbFile pipe, BYTE* buffer, DWORD length, bool toDevice, DWORD* done, DWORD* error)
{
    UsbTransfer record{pipe, length, 0, 0};
    auto fail = [&](DWORD reason) {
        *error = record.error = reason;
        m_transfers.push_back(record);
        return FALSE;
    };
    if (m_pipes[pipe].halted)
        return fail(ERROR_GEN_FAILURE);
    if (!m_command.active || m_command.carriedOut)
        return fail(ERROR_IO_DEVICE);
    // The unit works on a copy, so that a failed transfer leaves the program's buffer as it was.
    std::vector<BYTE> data(length);
    if (toDevice && length)
        std::memcpy(data.data(), buffer, length);
    if (!CarryOut(toDevice ? SimDirection::Out : SimDirection::In, data.data(), length))
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    DWORD reason = 0;
    if (PipeFault(pipe, &reason))
        return fail(reason);
    record.moved = toDevice ? length : std::min<DWORD>(m_command.result.transferred, length);
    if (!toDevice && record.moved)
        std::memcpy(buffer, data.data(), record.moved);
    *done = record.moved;
    m_transfers.push_back(record);
    return TRUE;
}

BOOL UsbDevice::ReadStatus(BYTE* buffer, DWORD length, DWORD* done, DWORD* error)
{
    UsbTransfer record{USB_PIPE_STATUS, length, 0, 0};
    auto fail = [&](DWORD reason) {
        *error = record.error = reason;
        m_transfers.push_back(record);
        return FALSE;
    };
    if (m_pipes[USB_PIPE_STATUS].halted)
        return fail(ERROR_GEN_FAILURE);
    if (!m_command.active)
        return fail(ERROR_IO_DEVICE);
    if (!m_command.carriedOut && !CarryOut(SimDirection::None, nullptr, 0))
        return fail(ERROR_DEVICE_NOT_CONNECTED);
    m_command.active = false;
    DWORD reason = 0;
    if (PipeFault(USB_PIPE_STATUS, &reason)) {
        m_driver.NoticePresenceChanges();
        return fail(reason);
    }
    std::vector<BYTE> status(2, 0);
    const SimResult& result = m_command.result;
    if (result.scsiStatus != 0) {
        status[0] = result.sense.size() > 12 ? result.sense[12] : 0;
        status[1] = result.sense.size() > 13 ? result.sense[13] : 0;
    }
    if (!m_scriptedStatus.empty()) {
        status = m_scriptedStatus.front();
        m_scriptedStatus.pop_front();
    }
    record.moved = std::min<DWORD>(static_cast<DWORD>(status.size()), length);
    if (record.moved)
        std::memcpy(buffer, status.data(), record.moved);
    *done = record.moved;
    m_transfers.push_back(record);
    // A unit leaves the system after the command that restarts it.
    m_driver.NoticePresenceChanges();
    return TRUE;
}

UsbDevice& VendorUsb::Attach(SimUnit* unit, const UsbSlot& slot)
{
    const std::string path = slot.devicePath.empty() ? MadeUpDevicePath(m_devices.size()) : slot.devicePath;
    m_devices.push_back(std::make_unique<UsbDevice>(*this, unit, path));
    UsbDevice& device = *m_devices.back();
    for (int file = USB_DEVICE_FILE; file <= USB_PIPE_STATUS; ++file)
        m_machine.RegisterDevice(device.FilePath(static_cast<UsbFile>(file)), &device.File(static_cast<UsbFile>(file)));
    // Attaching counts as arriving: the first notice announces it.
    m_present[&device] = false;
    return device;
}

UsbDevice* VendorUsb::DeviceOf(const SimUnit& unit) const
{
    for (auto& device : m_devices) {
        if (device->Unit() == &unit)
            return device.get();
    }
    return nullptr;
}

HDEVINFO VendorUsb::GetClassDevs(const GUID* classGuid, DWORD flags, DWORD* error)
{
    if (classGuid == nullptr && !(flags & DIGCF_ALLCLASSES)) {
        *error = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    auto set = std::make_shared<UsbInterfaceSet>();
    // Only interface lists of this class hold the driver's devices; setup classes never do.
    bool listsDevices = (flags & DIGCF_DEVICEINTERFACE) && ((flags & DIGCF_ALLCLASSES) ||
                                                            SameGuid(classGuid, VENDOR_USB_INTERFACE_CLASS));
    for (auto& device : m_devices) {
        if (listsDevices && (device->Present() || !(flags & DIGCF_PRESENT)))
            set->paths.push_back(device->DevicePath());
    }
    return m_machine.Handles().Add(set);
}

BOOL VendorUsb::EnumDeviceInterfaces(HDEVINFO handle, const GUID* interfaceClass, DWORD member,
                                     SP_DEVICE_INTERFACE_DATA* data, DWORD* error)
{
    auto* set = m_machine.Handles().Get<UsbInterfaceSet>(handle);
    if (set == nullptr) {
        *error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (interfaceClass == nullptr || data == nullptr) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    if (data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        *error = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if (!SameGuid(interfaceClass, VENDOR_USB_INTERFACE_CLASS) || member >= set->paths.size()) {
        *error = ERROR_NO_MORE_ITEMS;
        return FALSE;
    }
    data->InterfaceClassGuid = VENDOR_USB_INTERFACE_CLASS;
    data->Flags = SPINT_ACTIVE;
    // Names the member within its set for the detail call.
    data->Reserved = member + 1;
    return TRUE;
}

BOOL VendorUsb::GetDeviceInterfaceDetail(HDEVINFO handle, const SP_DEVICE_INTERFACE_DATA* data,
                                         SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize, DWORD* required,
                                         DWORD* error)
{
    auto* set = m_machine.Handles().Get<UsbInterfaceSet>(handle);
    if (set == nullptr) {
        *error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    if (data == nullptr || data->cbSize != sizeof(SP_DEVICE_INTERFACE_DATA)) {
        *error = data == nullptr ? ERROR_INVALID_PARAMETER : ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if (data->Reserved == 0 || data->Reserved > set->paths.size()) {
        *error = ERROR_INVALID_PARAMETER;
        return FALSE;
    }
    const std::string& path = set->paths[data->Reserved - 1];
    const size_t pathOffset = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    const DWORD needed = static_cast<DWORD>(pathOffset + path.size() + 1);
    if (required)
        *required = needed;
    if (detail == nullptr) {
        *error = detailSize != 0 ? ERROR_INVALID_USER_BUFFER : ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    if (detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) ||
        detail->cbSize != sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        *error = ERROR_INVALID_USER_BUFFER;
        return FALSE;
    }
    if (detailSize < needed) {
        *error = ERROR_INSUFFICIENT_BUFFER;
        return FALSE;
    }
    std::memcpy(detail->DevicePath, path.c_str(), path.size() + 1);
    return TRUE;
}

BOOL VendorUsb::DestroyDeviceInfoList(HDEVINFO handle, DWORD* error)
{
    if (m_machine.Handles().Get<UsbInterfaceSet>(handle) == nullptr) {
        *error = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    m_machine.Handles().Remove(handle);
    return TRUE;
}

void VendorUsb::NoticePresenceChanges()
{
    for (auto& device : m_devices) {
        const bool present = device->Present();
        bool& was = m_present[device.get()];
        if (present == was)
            continue;
        was = present;
        m_machine.BroadcastDeviceChange(DBT_DEVNODES_CHANGED);
    }
}
