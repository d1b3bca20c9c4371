// Control commands without a data phase: REZERO UNIT and the two vendor commands 0x21 and 0x3D,
// whose effect on the unit is the unit's own business; this layer only carries their bytes.
#pragma once

#include "unit/unit_table.h"

// 01 00 00 00 00 00; issued once.
UnitStatus UnitRezero(DWORD unit);

// 21 F P3 P2 P1 P0 Q3 Q2 Q1 Q0 with F = 0x40 when `flag` is nonzero, else 0x00; repeated once on
// 0x28000006.
UnitStatus UnitCommand21(DWORD unit, DWORD flag, DWORD p, DWORD q);

// 3D 00 P3 P2 P1 P0 W1 W0 D E 00 00 (12 bytes); repeated once on
// 0x28000006.
UnitStatus UnitCommand3D(DWORD unit, BYTE e, DWORD p, WORD w, BYTE d);
