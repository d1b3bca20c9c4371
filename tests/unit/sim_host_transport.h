// A host-interface transport for tests that carries commands straight to SimUnit objects, so that the
// unit table and commands run against simulated units without an emulated machine. Install it with
// SimHostTransport::Install after the layer has been opened (opening installs the platform's own).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host_io.h"
#include "sim/sim_unit.h"

class SimHostTransport {
public:
    SimHostTransport();
    ~SimHostTransport();

    // The units attached, in the order the enumeration reports them; a unit may appear more than once.
    std::vector<SimUnit*> attached;
    // Units held by another process: their commands end with status 11 without reaching the unit.
    std::vector<SimUnit*> busy;
    // When set, the data of the n-th command from now (1-based) that sends data has one byte flipped
    // on its way to the unit.
    unsigned corruptDataOfCommand = 0;

    // Filled by the last enumeration: the units the filter accepted, and the device class it was given.
    std::vector<SimUnit*> found;
    std::string deviceClass;

    // Per-unit operations as they were called: name and unit index.
    std::vector<std::pair<std::string, DWORD>> calls;

    void Install();

    // The transport's own status rule: sense-derived, or 4 when the unit is not there.
    static UnitStatus StatusOf(const SimResult& result);

private:
    static SimHostTransport* s_current;
    friend struct SimHostOperations;
    std::vector<std::vector<uint8_t>> m_areas;
};
