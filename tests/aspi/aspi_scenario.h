// Shared pieces of the ASPI tests: a fixture with a fresh emulated 9x machine whose host interface
// starts empty and whose transport is released before the machine goes, and small command helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "host/aspi/aspi_io.h"
#include "host/host_io.h"
#include "sim/machine/emulated_machine.h"
#include "support/qzv_units.h"

class AspiTest : public ::testing::Test {
protected:
    AspiTest() : machine(VER_PLATFORM_WIN32_WINDOWS)
    {
        AspiIoTerm();
        g_aspiIo.count = 0;
        // A request lost on an earlier test's machine belongs to a manager that is gone.
        g_aspiIo.lostRequest = nullptr;
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
