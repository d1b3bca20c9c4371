// The one place where the target answers a CDB itself instead of the unit: what initiators need
// and the unit does not have. Every other CDB reaches SimUnit::Execute unchanged.
//
//   REPORT LUNS               the one logical unit, LUN 0, on any LUN
//   READ CAPACITY(16)         from the unit's own READ CAPACITY(10), which the unit receives (and
//                             records) instead; its failure is passed on as it is
//   INQUIRY, VPD page 0x00    the list of supported pages, which names only itself: the unit has
//                             no vital product data, but an initiator that opens a disk asks for
//                             the list and gives up without it
//   any CDB on another LUN    INQUIRY: "no logical unit here" (peripheral qualifier 3); others
//                             CHECK CONDITION, ILLEGAL REQUEST, LOGICAL UNIT NOT SUPPORTED
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/sim_unit.h"

SimResult ScsiTargetExecute(SimUnit& unit, long lun, const uint8_t* cdb, size_t cdbLength, SimDirection direction,
                            uint8_t* data, uint32_t length);

// A transfer the target cannot take (larger than its buffers, or in both directions at once):
// CHECK CONDITION, ILLEGAL REQUEST, INVALID FIELD IN CDB, as a target with a transfer limit answers.
SimResult ScsiTargetRefuseTransfer();
