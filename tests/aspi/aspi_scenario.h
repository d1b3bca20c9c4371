// Shared pieces of the ASPI tests: a fixture with a fresh emulated 9x machine whose host interface
// starts empty and whose transport is released before the machine goes, and small command helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/aspi/aspi_io.h"
#include "host/host_io.h"
#include "sim/machine/emulated_machine.h"

// Accepts the units of the family: vendor "VORNA   ", product QZV-57G or QZV-57H.
inline int AcceptQzv(const BYTE* inquiry)
{
    return std::memcmp(inquiry + 8, "VORNA   ", 8) == 0 &&
           (std::memcmp(inquiry + 16, "QZV-57G         ", 16) == 0 ||
            std::memcmp(inquiry + 16, "QZV-57H         ", 16) == 0);
}

inline SimUnitConfig Qzv(const char* product = "QZV-57H", const char* revision = "1.99")
{
    SimUnitConfig config;
    config.product = product;
    config.revision = revision;
    return config;
}

inline SimUnitConfig OtherVendor()
{
    SimUnitConfig config;
    config.vendor = "OTHERCO ";
    config.product = "DISK";
    return config;
}

inline void EmptyHostInterface()
{
    HostInterface empty = {};
    HostIoInstall(&empty);
}

class AspiTest : public ::testing::Test {
protected:
    AspiTest() : machine(VER_PLATFORM_WIN32_WINDOWS)
    {
        AspiIoTerm();
        g_aspiIo.count = 0;
        EmptyHostInterface();
    }
    ~AspiTest() override
    {
        AspiIoTerm();
        g_aspiIo.count = 0;
        EmptyHostInterface();
    }

    // HostIoInit on the machine, then an enumeration with the family's filter.
    DWORD Enumerate()
    {
        EXPECT_EQ(1, HostIoInit());
        return HostIoEnumerate(AcceptQzv, "QZV-5x");
    }

    UnitStatus TestUnitReady(DWORD unit)
    {
        BYTE* cdb = HostIoGetCdb(unit);
        if (cdb == nullptr)
            return 0xDEAD;
        std::memset(cdb, 0, 6);
        return HostIoExecute(unit, UnitNoData, 6, nullptr, 0);
    }

    const SRB_ExecSCSICmd& LastRequest() { return machine.Aspi().Requests().back(); }

    EmulatedMachine machine;
};
