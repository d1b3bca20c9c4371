// A unit layer opened afresh for each test, with simulated units behind the host interface.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "platform/system_table.h"
#include "sim/sim_unit.h"
#include "unit/sim_host_transport.h"
#include "unit/unit_table.h"

// The tests stand on a Windows NT-family system, whatever the build runs on, so that opening the host
// interface succeeds; the simulated units are then put behind it in place of the platform's transport.
inline BOOL WINAPI NtFamilyVersion(LPOSVERSIONINFOA version)
{
    version->dwMajorVersion = 5;
    version->dwMinorVersion = 1;
    version->dwBuildNumber = 2600;
    version->dwPlatformId = VER_PLATFORM_WIN32_NT;
    version->szCSDVersion[0] = 0;
    return TRUE;
}

class UnitLayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_sys.GetVersionExA = NtFamilyVersion;
        UnitLayerClose();
        ASSERT_EQ(1u, UnitLayerOpen());
        transport.Install();
    }
    void TearDown() override
    {
        UnitLayerClose();
        SystemTableReset();
    }

    SimUnit* Attach(const std::string& product, const std::string& revision, uint32_t configuration = 0)
    {
        SimUnitConfig config;
        config.product = product;
        config.revision = revision;
        config.configuration = configuration;
        units.push_back(std::make_unique<SimUnit>(config));
        transport.attached.push_back(units.back().get());
        return units.back().get();
    }

    SimHostTransport transport;
    std::vector<std::unique_ptr<SimUnit>> units;
};
