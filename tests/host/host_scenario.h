// Shared pieces of the host-interface tests: a fixture with a fresh emulated NT machine whose host
// interface starts empty and is released before the machine goes, and small command helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host_io.h"
#include "host/spti/spti_io.h"
#include "host/spti/volume_api.h"
#include "sim/machine/emulated_machine.h"
#include "support/qzv_units.h"

class HostTest : public ::testing::Test {
protected:
    HostTest() : machine(VER_PLATFORM_WIN32_NT)
    {
        EmptyHostInterface();
        VolumeApiReset();
    }
    void TearDown() override
    {
        // Straight to the transport: tests that called it without the dispatch are released too.
        SptiIoInterface()->term();
        EmptyHostInterface();
    }

    // INQUIRY of 36 bytes into `inquiry` through the host interface.
    UnitStatus Inquiry(DWORD unit, BYTE* inquiry)
    {
        BYTE* cdb = HostIoGetCdb(unit);
        if (cdb == nullptr)
            return 0xDEAD;
        const BYTE command[6] = {0x12, 0, 0, 0, 36, 0};
        std::memcpy(cdb, command, sizeof command);
        return HostIoExecute(unit, UnitDataIn, 6, inquiry, 36);
    }

    UnitStatus TestUnitReady(DWORD unit)
    {
        BYTE* cdb = HostIoGetCdb(unit);
        if (cdb == nullptr)
            return 0xDEAD;
        std::memset(cdb, 0, 6);
        return HostIoExecute(unit, UnitNoData, 6, nullptr, 0);
    }

    // The drive letter of every unit, in table order ('-' for none).
    std::string Letters(DWORD count)
    {
        std::string letters;
        for (DWORD i = 0; i < count; ++i) {
            DWORD letter = 0;
            EXPECT_TRUE(HostIoGetDriveLetter(i, &letter));
            letters += letter ? static_cast<char>(letter) : '-';
        }
        return letters;
    }

    EmulatedMachine machine;
};
