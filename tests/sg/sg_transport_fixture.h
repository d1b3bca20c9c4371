// What the SCSI generic transport's tests share: simulated devices in force, the transport's
// operations, an identity filter of the tests' own, and system calls that record the transport's
// pauses and mutex waits instead of spending real time on them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/sg/sg_io.h"
#include "platform/system_table.h"
#include "tests/sg/simulated_sg_devices.h"

using Bytes = std::vector<uint8_t>;

// The device class of these tests' units: the program's own, made unique to this test process,
// because unit mutexes are shared by every process on the machine (another test run among them).
inline const char* DeviceClass()
{
    static const std::string name = "QZV-5x." + std::to_string(getpid());
    return name.c_str();
}

// The name of the mutex that a unit holds: `device` is its SCSI address "host:channel:id:lun", or
// "sgN" when its address cannot be read.
inline std::string UnitMutexName(const std::string& device)
{
    return std::string("mutexSgIo/") + DeviceClass() + "/" + device;
}

// Accepts the QZV-57G and QZV-57H by their INQUIRY identity.
inline int AcceptQzvUnits(const BYTE* inquiry)
{
    return std::memcmp(inquiry + 8, "VORNA   ", 8) == 0 &&
           (std::memcmp(inquiry + 16, "QZV-57G         ", 16) == 0 ||
            std::memcmp(inquiry + 16, "QZV-57H         ", 16) == 0);
}

// Sleep and WaitForSingleObject as the transport uses them, recorded. Sleeps take no time; mutex
// waits are real but last at most `waitCap` ms, so that a 32 s wait ends quickly in a test.
struct RecordedTime {
    std::vector<DWORD> sleeps;
    std::vector<DWORD> waits;
    DWORD waitCap = 200;
    bool reportAbandoned = false;         // waits report WAIT_ABANDONED, as after a holder's death
    unsigned releases = 0;

    RecordedTime();
    ~RecordedTime();
};

class SgTransportTest : public ::testing::Test {
protected:
    void TearDown() override { sg->term(); }

    DWORD Enumerate(HostIoFilter filter = AcceptQzvUnits) { return sg->enumerate(filter, DeviceClass()); }

    UnitStatus Run(DWORD unit, const Bytes& cdb, DWORD direction, void* data, DWORD length)
    {
        BYTE* area = sg->getCdb(unit);
        if (area != nullptr)
            std::copy(cdb.begin(), cdb.end(), area);
        return sg->execute(unit, direction, static_cast<DWORD>(cdb.size()), data, length);
    }

    UnitStatus TestUnitReady(DWORD unit) { return Run(unit, {0x00, 0, 0, 0, 0, 0}, UnitNoData, nullptr, 0); }

    SimulatedSgDevices devices;
    const HostInterface* sg = SgIoOperations();
};
