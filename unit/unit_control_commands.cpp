// REZERO UNIT and the vendor control commands 0x21 and 0x3D.
#include "unit/unit_control_commands.h"

#include "unit/unit_command_runner.h"

UnitStatus UnitRezero(DWORD unit)
{
    const UnitCommand rezero = {{0x01, 0x00, 0x00, 0x00, 0x00, 0x00}, 6, UnitNoData, nullptr, 0, UNIT_RETRY_NONE};
    return UnitRun(unit, rezero);
}

UnitStatus UnitCommand21(DWORD unit, DWORD flag, DWORD p, DWORD q)
{
    const UnitCommand command = {{0x21, BYTE(flag ? 0x40 : 0x00), BYTE(p >> 24), BYTE(p >> 16), BYTE(p >> 8), BYTE(p),
                                  BYTE(q >> 24), BYTE(q >> 16), BYTE(q >> 8), BYTE(q)},
                                 10,
                                 UnitNoData,
                                 nullptr,
                                 0,
                                 UNIT_RETRY_ONCE};
    return UnitRun(unit, command);
}

UnitStatus UnitCommand3D(DWORD unit, BYTE e, DWORD p, WORD w, BYTE d)
{
    const UnitCommand command = {{0x3D, 0x00, BYTE(p >> 24), BYTE(p >> 16), BYTE(p >> 8), BYTE(p), BYTE(w >> 8), BYTE(w),
                                  d, e, 0x00, 0x00},
                                 12,
                                 UnitNoData,
                                 nullptr,
                                 0,
                                 UNIT_RETRY_ONCE};
    return UnitRun(unit, command);
}
