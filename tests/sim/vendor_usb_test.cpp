// The emulated vendor USB driver holds a program to the driver's protocol: the SetupAPI record
// sizes, the detail call's two steps, the command request's header, and the order of command, data
// and status.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "sim/machine/emulated_machine.h"

namespace {

const BYTE HEADER[16] = {0x1B, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};

class VendorUsbTest : public ::testing::Test {
protected:
    HANDLE Open(const std::string& path)
    {
        return g_sys.CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
    }
    BOOL Send(HANDLE device, const std::vector<BYTE>& cdb, const BYTE* header = HEADER)
    {
        std::vector<BYTE> request(header, header + 16);
        request.insert(request.end(), cdb.begin(), cdb.end());
        DWORD returned = 0;
        return g_sys.DeviceIoControl(device, VENDOR_USB_SEND_COMMAND, request.data(),
                                     static_cast<DWORD>(request.size()), nullptr, 0, &returned, nullptr);
    }
    std::vector<BYTE> Status(HANDLE pipe)
    {
        BYTE status[2] = {0xEE, 0xEE};
        DWORD got = 0;
        if (!g_sys.ReadFile(pipe, status, sizeof status, &got, nullptr))
            return {};
        return std::vector<BYTE>(status, status + got);
    }

    EmulatedMachine machine;
};

TEST_F(VendorUsbTest, EnumerationChecksRecordSizesAndClass)
{
    SimUnit& first = machine.AttachUsbUnit(SimUnitConfig());
    machine.AttachUsbUnit(SimUnitConfig());
    machine.Unplug(first);

    HDEVINFO present = g_sys.SetupDiGetClassDevsA(&VENDOR_USB_INTERFACE_CLASS, nullptr, nullptr,
                                                  DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    ASSERT_NE(INVALID_HANDLE_VALUE, present);
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof data - 1;
    EXPECT_FALSE(g_sys.SetupDiEnumDeviceInterfaces(present, nullptr, &VENDOR_USB_INTERFACE_CLASS, 0, &data));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), g_sys.GetLastError());
    data.cbSize = sizeof data;
    ASSERT_TRUE(g_sys.SetupDiEnumDeviceInterfaces(present, nullptr, &VENDOR_USB_INTERFACE_CLASS, 0, &data));
    EXPECT_FALSE(g_sys.SetupDiEnumDeviceInterfaces(present, nullptr, &VENDOR_USB_INTERFACE_CLASS, 1, &data))
        << "the unplugged device is not present";
    EXPECT_EQ(static_cast<DWORD>(ERROR_NO_MORE_ITEMS), g_sys.GetLastError());
    ASSERT_TRUE(g_sys.SetupDiEnumDeviceInterfaces(present, nullptr, &VENDOR_USB_INTERFACE_CLASS, 0, &data));

    // The detail: first the size, then the record with its size field set.
    DWORD required = 0;
    EXPECT_FALSE(g_sys.SetupDiGetDeviceInterfaceDetailA(present, &data, nullptr, 0, &required, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER), g_sys.GetLastError());
    const std::string path = machine.Usb().Devices()[1]->DevicePath();
    EXPECT_EQ(offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath) + path.size() + 1, required);
    DWORD buffer[128] = {};
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(buffer);
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) + 1;
    EXPECT_FALSE(g_sys.SetupDiGetDeviceInterfaceDetailA(present, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_USER_BUFFER), g_sys.GetLastError());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    EXPECT_FALSE(g_sys.SetupDiGetDeviceInterfaceDetailA(present, &data, detail, required - 1, nullptr, nullptr));
    ASSERT_TRUE(g_sys.SetupDiGetDeviceInterfaceDetailA(present, &data, detail, required, nullptr, nullptr));
    EXPECT_EQ(path, detail->DevicePath);
    EXPECT_TRUE(g_sys.SetupDiDestroyDeviceInfoList(present));
    EXPECT_FALSE(g_sys.SetupDiDestroyDeviceInfoList(present));

    // Without DIGCF_PRESENT the absent device is listed too; another class lists nothing.
    HDEVINFO all = g_sys.SetupDiGetClassDevsA(&VENDOR_USB_INTERFACE_CLASS, nullptr, nullptr, DIGCF_DEVICEINTERFACE);
    EXPECT_TRUE(g_sys.SetupDiEnumDeviceInterfaces(all, nullptr, &VENDOR_USB_INTERFACE_CLASS, 1, &data));
    g_sys.SetupDiDestroyDeviceInfoList(all);
    GUID other = VENDOR_USB_INTERFACE_CLASS;
    other.Data4[7] ^= 1;
    HDEVINFO none = g_sys.SetupDiGetClassDevsA(&other, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    EXPECT_FALSE(g_sys.SetupDiEnumDeviceInterfaces(none, nullptr, &other, 0, &data));
    g_sys.SetupDiDestroyDeviceInfoList(none);
    EXPECT_EQ(0u, machine.OpenHandleCount());
}

TEST_F(VendorUsbTest, CommandDataAndStatusInTheirOrder)
{
    SimUnit& unit = machine.AttachUsbUnit(SimUnitConfig());
    UsbDevice& usb = machine.UsbDeviceOf(unit);
    HANDLE device = Open(usb.DevicePath());
    HANDLE dataIn = Open(usb.FilePath(USB_PIPE_DATA_IN));
    HANDLE status = Open(usb.FilePath(USB_PIPE_STATUS));
    ASSERT_NE(INVALID_HANDLE_VALUE, device);
    ASSERT_NE(INVALID_HANDLE_VALUE, dataIn);
    ASSERT_NE(INVALID_HANDLE_VALUE, status);
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(usb.DevicePath() + "\\if000pipe003"));

    EXPECT_TRUE(Status(status).empty()) << "no command, no status";
    BYTE header[16];
    std::memcpy(header, HEADER, sizeof header);
    header[14] = 1;
    EXPECT_FALSE(Send(device, {0, 0, 0, 0, 0, 0}, header)) << "a header field out of place";
    EXPECT_FALSE(Send(device, {}));
    EXPECT_FALSE(Send(device, std::vector<BYTE>(17, 0)));
    EXPECT_TRUE(unit.Commands().empty());

    ASSERT_TRUE(Send(device, {0x12, 0, 0, 0, 36, 0}));
    BYTE inquiry[36] = {};
    DWORD got = 0;
    ASSERT_TRUE(g_sys.ReadFile(dataIn, inquiry, sizeof inquiry, &got, nullptr));
    EXPECT_EQ(36u, got);
    EXPECT_EQ(0, std::memcmp(inquiry + 8, "VORNA   ", 8));
    EXPECT_FALSE(g_sys.ReadFile(dataIn, inquiry, sizeof inquiry, &got, nullptr)) << "one data phase per command";
    EXPECT_EQ((std::vector<BYTE>{0, 0}), Status(status));

    // A unit that leaves after a command still delivers that command's status.
    unit.UnplugAfter(1);
    ASSERT_TRUE(Send(device, {0, 0, 0, 0, 0, 0}));
    EXPECT_EQ((std::vector<BYTE>{0, 0}), Status(status));
    EXPECT_FALSE(Send(device, {0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(static_cast<DWORD>(ERROR_DEVICE_NOT_CONNECTED), g_sys.GetLastError());
    EXPECT_EQ(INVALID_HANDLE_VALUE, Open(usb.DevicePath()));

    for (HANDLE handle : {device, dataIn, status})
        g_sys.CloseHandle(handle);
    EXPECT_EQ(0u, usb.OpenHandles());
}

}  // namespace
