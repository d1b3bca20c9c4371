// The device calls of the SCSI generic transport, answered by simulated devices.
#include "tests/sg/simulated_sg_devices.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

namespace {

SimulatedSgDevices* g_current = nullptr;

// Linux reports sense data returned with a command through this driver byte.
const uint16_t DRIVER_SENSE = 0x08;

void DeliverSense(SgRequest* request, const std::vector<uint8_t>& sense)
{
    size_t length = std::min<size_t>(sense.size(), request->senseCapacity);
    if (length > 0)
        std::memcpy(request->sense, sense.data(), length);
    request->senseLength = static_cast<BYTE>(length);
    if (!sense.empty())
        request->driverStatus |= DRIVER_SENSE;
}

}  // namespace

struct SimulatedSgCalls {
    static SimulatedSgDevices::Descriptor* Find(int fd)
    {
        for (auto& entry : g_current->m_descriptors)
            if (entry.first == fd)
                return &entry.second;
        return nullptr;
    }

    static int Add(SimulatedSgDevice* device, bool block)
    {
        int fd = g_current->m_nextDescriptor++;
        g_current->m_descriptors.push_back({fd, {device, block}});
        ++g_current->openDescriptors;
        ++device->descriptorsOpen;
        return fd;
    }

    static int ListDevices(std::vector<unsigned>* numbers)
    {
        numbers->clear();
        if (g_current->listError != 0)
            return -g_current->listError;
        for (auto& device : g_current->m_devices)
            if (device->present || device->listedWhileGone)
                numbers->push_back(device->number);
        std::sort(numbers->begin(), numbers->end());
        return 0;
    }

    static int Open(unsigned number)
    {
        for (auto& device : g_current->m_devices) {
            if (device->number != number)
                continue;
            if (!device->present)
                return -ENOENT;
            if (device->openError != 0)
                return -device->openError;
            ++device->opens;
            g_current->openOrder.push_back(number);
            return Add(device.get(), false);
        }
        return -ENOENT;
    }

    static int Execute(int fd, SgRequest* request)
    {
        SimulatedSgDevices::Descriptor* descriptor = Find(fd);
        if (descriptor == nullptr || descriptor->block)
            return -EBADF;
        SimulatedSgDevice& device = *descriptor->device;
        ++device.attempts;
        if (device.whileRunning)
            device.whileRunning();
        if (!device.present)
            return -ENODEV;
        if (device.executeError != 0)
            return -device.executeError;
        device.received.push_back({std::vector<uint8_t>(request->cdb, request->cdb + request->cdbLength),
                                   request->transfer, request->length, request->timeoutMs,
                                   request->senseCapacity});
        if (!device.scripted.empty()) {
            SgScriptedOutcome outcome = device.scripted.front();
            device.scripted.pop_front();
            request->scsiStatus = outcome.scsiStatus;
            request->hostStatus = outcome.hostStatus;
            request->driverStatus = outcome.driverStatus;
            DeliverSense(request, outcome.sense);
            return 0;
        }
        if (device.unit) {
            static const SimDirection directions[] = {SimDirection::None, SimDirection::In, SimDirection::Out};
            SimResult result = device.unit->Execute(request->cdb, request->cdbLength, directions[request->transfer],
                                                    static_cast<uint8_t*>(request->data), request->length);
            // A unit that left the system is a device the kernel has removed.
            if (result.deviceGone) {
                device.present = false;
                return -ENODEV;
            }
            request->scsiStatus = result.scsiStatus;
            DeliverSense(request, result.sense);
            return 0;
        }
        if (request->cdb[0] == 0x12 && request->transfer == SgTransferIn)
            std::memcpy(request->data, device.inquiry.data(), std::min<size_t>(device.inquiry.size(), request->length));
        return 0;
    }

    static int GetScsiAddress(int fd, SgScsiAddress* address)
    {
        SimulatedSgDevices::Descriptor* descriptor = Find(fd);
        if (descriptor == nullptr)
            return -EBADF;
        if (!descriptor->device->present)
            return -ENODEV;
        if (!descriptor->device->addressReadable)
            return -EINVAL;
        *address = descriptor->device->address;
        return 0;
    }

    static int OpenBlockExclusive(unsigned number, int* fd)
    {
        *fd = -1;
        SimulatedSgDevice& device = g_current->Device(number);
        if (!device.present)
            return -ENODEV;
        if (device.block == SimulatedSgDevice::NO_BLOCK_DEVICE)
            return 0;
        ++device.blockOpenTries;
        if (device.blockError != 0)
            return -device.blockError;
        if (device.blockBusyTries > 0) {
            --device.blockBusyTries;
            return -EBUSY;
        }
        if (device.blockHeld)
            return -EBUSY;
        device.blockHeld = true;
        *fd = Add(&device, true);
        return 0;
    }

    static void Close(int fd)
    {
        auto& descriptors = g_current->m_descriptors;
        for (auto entry = descriptors.begin(); entry != descriptors.end(); ++entry) {
            if (entry->first != fd)
                continue;
            if (entry->second.block)
                entry->second.device->blockHeld = false;
            --entry->second.device->descriptorsOpen;
            descriptors.erase(entry);
            --g_current->openDescriptors;
            return;
        }
    }
};

SimulatedSgDevices::SimulatedSgDevices()
{
    g_current = this;
    static const SgDeviceCalls calls = {
        SimulatedSgCalls::ListDevices,    SimulatedSgCalls::Open,
        SimulatedSgCalls::Execute,        SimulatedSgCalls::GetScsiAddress,
        SimulatedSgCalls::OpenBlockExclusive, SimulatedSgCalls::Close,
    };
    SgDeviceCallsInstall(calls);
}

SimulatedSgDevices::~SimulatedSgDevices()
{
    SgDeviceCallsReset();
    g_current = nullptr;
}

SimulatedSgDevice& SimulatedSgDevices::AddUnit(unsigned number, const SimUnitConfig& config)
{
    m_devices.push_back(std::make_unique<SimulatedSgDevice>());
    m_devices.back()->number = number;
    m_devices.back()->unit = std::make_unique<SimUnit>(config);
    return *m_devices.back();
}

SimulatedSgDevice& SimulatedSgDevices::AddOther(unsigned number, const std::vector<uint8_t>& inquiry)
{
    m_devices.push_back(std::make_unique<SimulatedSgDevice>());
    m_devices.back()->number = number;
    m_devices.back()->inquiry = inquiry;
    return *m_devices.back();
}

SimulatedSgDevice& SimulatedSgDevices::Device(unsigned number)
{
    for (auto& device : m_devices)
        if (device->number == number)
            return *device;
    return *m_devices.front();
}

std::vector<uint8_t> OtherInquiry(const char* vendor, const char* product, size_t length)
{
    std::vector<uint8_t> data(36, ' ');
    data[0] = 0x00;  // direct-access device
    data[1] = 0x80;  // removable
    data[2] = 0x05;
    data[3] = 0x02;
    data[4] = 31;
    data[5] = data[6] = data[7] = 0;
    std::memcpy(&data[8], vendor, std::min<size_t>(std::strlen(vendor), 8));
    std::memcpy(&data[16], product, std::min<size_t>(std::strlen(product), 16));
    std::memcpy(&data[32], "1.00", 4);
    data.resize(length, 0);
    return data;
}
