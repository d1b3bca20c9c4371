// SCSI generic devices for the transport's tests: each is a simulated QZV-57 unit or another device
// that answers INQUIRY only, at a chosen sgN and SCSI address, with faults of the kind Linux shows
// (a device that cannot be opened or vanishes, a host adapter or driver error, a busy block device).
// Creating a SimulatedSgDevices puts its calls in force; destroying it puts the Linux calls back.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

#include "host/sg/sg_device_calls.h"
#include "sim/sim_unit.h"

// What the kernel reports for one request instead of passing it to the device.
struct SgScriptedOutcome {
    uint8_t scsiStatus = 0;
    uint16_t hostStatus = 0;
    uint16_t driverStatus = 0;
    std::vector<uint8_t> sense;  // any length; the transport's buffer takes what fits
};

// One request as the device received it.
struct SgReceived {
    std::vector<uint8_t> cdb;
    SgTransfer transfer;
    uint32_t length;
    uint32_t timeoutMs;
    uint8_t senseCapacity;
};

struct SimulatedSgDevice {
    unsigned number = 0;                        // N of /dev/sgN
    SgScsiAddress address = {0, 0, 0, 0};
    bool addressReadable = true;
    std::unique_ptr<SimUnit> unit;              // answers commands when set
    std::vector<uint8_t> inquiry;               // without a unit: the INQUIRY answer, any length
    bool present = true;                        // false: gone; open fails, SG_IO on an open descriptor too
    bool listedWhileGone = false;               // still listed in sysfs while gone
    int openError = 0;                          // errno with which opening fails
    int executeError = 0;                       // errno with which SG_IO fails
    std::deque<SgScriptedOutcome> scripted;     // taken one per request before the unit sees it
    std::function<void()> whileRunning;         // called inside every SG_IO on this device

    enum Block { NO_BLOCK_DEVICE, BLOCK_DEVICE } block = NO_BLOCK_DEVICE;
    unsigned blockBusyTries = 0;                // exclusive opens refused with EBUSY before one succeeds
    int blockError = 0;                         // errno other than EBUSY that refuses it

    // What happened.
    std::vector<SgReceived> received;
    unsigned attempts = 0;                      // SG_IO calls, failed ones included
    unsigned opens = 0;
    unsigned descriptorsOpen = 0;               // sg and block descriptors not closed yet
    unsigned blockOpenTries = 0;
    bool blockHeld = false;
};

class SimulatedSgDevices {
public:
    SimulatedSgDevices();
    ~SimulatedSgDevices();
    SimulatedSgDevices(const SimulatedSgDevices&) = delete;
    SimulatedSgDevices& operator=(const SimulatedSgDevices&) = delete;

    // A simulated unit at sgN.
    SimulatedSgDevice& AddUnit(unsigned number, const SimUnitConfig& config = SimUnitConfig());
    // Another device at sgN answering INQUIRY with these bytes and every other command with GOOD.
    SimulatedSgDevice& AddOther(unsigned number, const std::vector<uint8_t>& inquiry);

    SimulatedSgDevice& Device(unsigned number);
    int listError = 0;                          // errno with which listing the devices fails
    unsigned openDescriptors = 0;               // descriptors of all devices not closed yet
    std::vector<unsigned> openOrder;            // sgN of every successful open, in order

private:
    friend struct SimulatedSgCalls;
    std::vector<std::unique_ptr<SimulatedSgDevice>> m_devices;
    struct Descriptor {
        SimulatedSgDevice* device;
        bool block;
    };
    std::vector<std::pair<int, Descriptor>> m_descriptors;
    int m_nextDescriptor = 100;
};

// Standard INQUIRY data of another kind of device, padded or cut to `length` bytes.
std::vector<uint8_t> OtherInquiry(const char* vendor, const char* product, size_t length = 36);
