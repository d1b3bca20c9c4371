// A fresh emulated NT machine with the vendor USB transport open on it, units attached through the
// vendor's driver, and small command helpers.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "sim/machine/emulated_machine.h"
#include "unit/usb/zeku_io.h"
#include "unit/usb/zeku_io_device.h"

inline bool operator==(const UsbPipeControl& a, const UsbPipeControl& b)
{
    return a.pipe == b.pipe && a.code == b.code;
}

inline std::string ZekuMutexName(unsigned n)
{
    char name[32];
    std::snprintf(name, sizeof name, "ZekuIo/mutex/device/%02u", n);
    return name;
}

// A device path of exactly `length` characters in the form the driver uses.
inline std::string DevicePathOfLength(size_t length)
{
    std::string path = "\\\\?\\usb#vid_0f6e&pid_0a57#";
    const std::string tail = "#{2ffb2401-f3d1-11d5-81dd-00010258d039}";
    path += std::string(length - path.size() - tail.size(), 'x');
    return path + tail;
}

class ZekuIoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(1u, ZekuIoOpen());
        baseHandles = machine.OpenHandleCount();
    }
    void TearDown() override { ZekuIoClose(); }

    SimUnit& Attach(const char* revision = "1.99", const UsbSlot& slot = UsbSlot())
    {
        SimUnitConfig config;
        config.revision = revision;
        return machine.AttachUsbUnit(config, slot);
    }
    UsbDevice& Device(const SimUnit& unit) { return machine.UsbDeviceOf(unit); }

    // Writes the CDB into the device's area and executes it.
    UnitStatus Run(DWORD index, std::initializer_list<BYTE> cdb, DWORD direction = UnitNoData, void* data = nullptr,
                   DWORD length = 0)
    {
        BYTE* area = ZekuIoGetCdb(index);
        if (area == nullptr)
            return 0xDEAD;
        std::copy(cdb.begin(), cdb.end(), area);
        return ZekuIoExecute(index, direction, static_cast<DWORD>(cdb.size()), data, length);
    }
    UnitStatus Inquiry(DWORD index, BYTE* inquiry) { return Run(index, {0x12, 0, 0, 0, 36, 0}, UnitDataIn, inquiry, 36); }
    UnitStatus TestUnitReady(DWORD index) { return Run(index, {0, 0, 0, 0, 0, 0}); }
    // WRITE(10) of one 512-byte block at block 0 of the card.
    UnitStatus WriteBlock(DWORD index, BYTE* block)
    {
        return Run(index, {0x2A, 0, 0, 0, 0, 0, 0, 0, 1, 0}, UnitDataOut, block, 512);
    }

    // True when the command left nothing open: no handle of the program beyond those the test
    // started with (mutexes), no file of any device, no mutex owned, no memory block.
    ::testing::AssertionResult NothingLeftOpen()
    {
        for (auto& device : machine.Usb().Devices()) {
            if (device->OpenHandles() != 0)
                return ::testing::AssertionFailure() << device->OpenHandles() << " file(s) of a device still open";
        }
        if (machine.OpenHandleCount() != baseHandles)
            return ::testing::AssertionFailure() << machine.OpenHandleCount() << " handles, " << baseHandles
                                                 << " expected";
        if (machine.MutexesHeld() != 0)
            return ::testing::AssertionFailure() << machine.MutexesHeld() << " mutex(es) still owned";
        if (machine.OutstandingAllocations() != 0)
            return ::testing::AssertionFailure() << machine.OutstandingAllocations() << " memory blocks";
        return ::testing::AssertionSuccess();
    }

    EmulatedMachine machine;
    size_t baseHandles = 0;
};
