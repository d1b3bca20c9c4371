// Units of the family and of other makes for the transport tests, the filter the unit layer applies
// to them, and a way to empty the host interface before a scenario.
#pragma once

#include <cstring>

#include "host/host_io.h"
#include "sim/sim_unit.h"

// Accepts the units of the family: vendor "VORNA   ", product QZV-57G or QZV-57H.
inline int AcceptQzv(const BYTE* inquiry)
{
    return std::memcmp(inquiry + 8, "VORNA   ", 8) == 0 &&
           (std::memcmp(inquiry + 16, "QZV-57G         ", 16) == 0 ||
            std::memcmp(inquiry + 16, "QZV-57H         ", 16) == 0);
}

inline SimUnitConfig Qzv(const char* product = "QZV-57H", const char* revision = "1.99", uint32_t configuration = 0)
{
    SimUnitConfig config;
    config.product = product;
    config.revision = revision;
    config.configuration = configuration;
    return config;
}

inline SimUnitConfig OtherVendor()
{
    SimUnitConfig config;
    config.vendor = "OTHERCO ";
    return config;
}

inline void EmptyHostInterface()
{
    HostInterface empty = {};
    HostIoInstall(&empty);
}
