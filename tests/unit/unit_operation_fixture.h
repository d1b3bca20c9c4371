// One simulated unit in the unit table, for the tests of the memory, block, parameter page, control
// and ATA operations: what the unit received is in unit->Commands().
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "unit/unit_layer_fixture.h"

inline std::vector<uint8_t> Bytes(std::initializer_list<int> list)
{
    std::vector<uint8_t> bytes;
    for (int b : list)
        bytes.push_back(static_cast<uint8_t>(b));
    return bytes;
}

// The unit's answer of UNIT ATTENTION, not ready to ready change: the one status that is retried.
const uint8_t UNIT_ATTENTION = 0x06;
const uint8_t READY_CHANGE = 0x28;

class UnitOperationTest : public UnitLayerTest {
protected:
    void SetUpUnit(const std::string& revision)
    {
        unit = Attach("QZV-57H", revision);
        ASSERT_EQ(1u, UnitCount());
        unit->ClearCommands();
    }
    void SetUp() override
    {
        UnitLayerTest::SetUp();
        SetUpUnit("2.00");
    }

    const std::vector<SimCommand>& Sent() const { return unit->Commands(); }
    const std::vector<uint8_t>& CdbOf(size_t i) const { return unit->Commands().at(i).cdb; }

    SimUnit* unit = nullptr;
};
