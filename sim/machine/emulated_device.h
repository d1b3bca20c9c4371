// A device of the emulated machine: something CreateFileA opens by a device path (\\.\...) and
// DeviceIoControl, ReadFile and WriteFile then reach. The NT storage stack provides disks; other
// parts of the machine (the 9x VWIN32 device, the vendor USB driver) add their own kinds.
#pragma once

#include <string>

#include "platform/win32_types.h"
#include "sim/machine/kernel_objects.h"

class EmulatedDevice;

// One open handle on a device.
struct DeviceHandle : HandleObject {
    EmulatedDevice* device = nullptr;
    std::string path;
    DWORD access = 0;
};

// Each call reports failure by returning FALSE (or false) with the reason in *error.
class EmulatedDevice {
public:
    virtual ~EmulatedDevice() = default;

    // CreateFileA on one of the device's paths is about to give `handle` to the program.
    virtual bool Open(DeviceHandle& handle, DWORD* error) = 0;
    // The program closed `handle`.
    virtual void Closed(DeviceHandle&) {}

    virtual BOOL Control(DeviceHandle&, DWORD /*code*/, void* /*in*/, DWORD /*inSize*/, void* /*out*/,
                         DWORD /*outSize*/, DWORD* returned, DWORD* error)
    {
        *returned = 0;
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    virtual BOOL Read(DeviceHandle&, void* /*buffer*/, DWORD /*length*/, DWORD* done, DWORD* error)
    {
        *done = 0;
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
    virtual BOOL Write(DeviceHandle&, const void* /*buffer*/, DWORD /*length*/, DWORD* done, DWORD* error)
    {
        *done = 0;
        *error = ERROR_INVALID_FUNCTION;
        return FALSE;
    }
};
