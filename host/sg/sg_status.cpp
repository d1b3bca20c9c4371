// Sense decoding and the status of a finished SG_IO request.
#include "host/sg/sg_status.h"

#include <algorithm>

namespace {

// The driver byte that only says sense data was returned.
const WORD DRIVER_SENSE_ONLY = 0x08;

BYTE ByteAt(const BYTE* data, size_t length, size_t offset)
{
    return offset < length ? data[offset] : 0;
}

// Status bytes with which a command completed: GOOD, CONDITION MET, and their INTERMEDIATE forms.
bool CompletedStatus(BYTE scsiStatus)
{
    switch (scsiStatus) {
    case 0x00:
    case 0x04:
    case 0x10:
    case 0x14: return true;
    default: return false;
    }
}

}  // namespace

SgSense SgDecodeSense(const BYTE* sense, size_t length)
{
    SgSense decoded = {false, 0, 0, 0};
    if (sense == nullptr || length == 0)
        return decoded;
    BYTE responseCode = sense[0] & 0x7F;
    if (responseCode == 0x72 || responseCode == 0x73) {
        decoded.recognised = length > 1;
        decoded.key = ByteAt(sense, length, 1) & 0x0F;
        decoded.asc = ByteAt(sense, length, 2);
        decoded.ascq = ByteAt(sense, length, 3);
        return decoded;
    }
    decoded.recognised = (responseCode == 0x70 || responseCode == 0x71) && length > 2;
    decoded.key = ByteAt(sense, length, 2) & 0x0F;
    decoded.asc = ByteAt(sense, length, 12);
    decoded.ascq = ByteAt(sense, length, 13);
    return decoded;
}

UnitStatus SgPackSense(const SgSense& sense)
{
    return (static_cast<UnitStatus>(sense.asc) << 24) | (static_cast<UnitStatus>(sense.ascq) << 16) |
           (sense.key & 0x0Fu);
}

UnitStatus SgStatusOfRequest(const SgRequest& request)
{
    SgSense sense = SgDecodeSense(request.sense, std::min(request.senseLength, request.senseCapacity));
    UnitStatus packed = SgPackSense(sense);
    if (packed != 0)
        return packed;
    WORD driverByte = request.driverStatus & 0x0F;
    bool hostFailed = request.hostStatus != 0;
    bool driverFailed = driverByte != 0 && driverByte != DRIVER_SENSE_ONLY;
    bool targetRefused = !sense.recognised && !CompletedStatus(request.scsiStatus);
    return hostFailed || driverFailed || targetRefused ? 4 : 0;
}
