#include "host/sense_status.h"

UnitStatus HostIoSenseStatus(const BYTE* sense, size_t length)
{
    if (sense == nullptr)
        return 0;
    auto at = [&](size_t index) -> DWORD { return index < length ? sense[index] : 0; };
    DWORD responseCode = at(0) & 0x7F;
    bool descriptor = responseCode == 0x72 || responseCode == 0x73;
    DWORD key = descriptor ? at(1) : at(2);
    DWORD asc = descriptor ? at(2) : at(12);
    DWORD ascq = descriptor ? at(3) : at(13);
    return (asc << 24) | (ascq << 16) | (key & 0x0F);
}

bool HostIoScsiStatusCompleted(BYTE scsiStatus)
{
    switch (scsiStatus) {
    case 0x00:  // GOOD
    case 0x04:  // CONDITION MET
    case 0x10:  // INTERMEDIATE
    case 0x14:  // INTERMEDIATE-CONDITION MET
        return true;
    default:
        return false;
    }
}

UnitStatus HostIoCommandStatus(const BYTE* sense, size_t length, bool completed)
{
    UnitStatus status = HostIoSenseStatus(sense, length);
    if (status == 0 && !completed)
        return 4;
    return status;
}
