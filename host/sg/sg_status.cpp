// The status of a finished SG_IO request.
#include "host/sg/sg_status.h"

#include <algorithm>

#include "host/sense_status.h"

namespace {

// The driver byte that only says sense data was returned.
const WORD DRIVER_SENSE_ONLY = 0x08;

}  // namespace

UnitStatus SgStatusOfRequest(const SgRequest& request)
{
    WORD driverByte = request.driverStatus & 0x0F;
    bool completed = request.hostStatus == 0 && (driverByte == 0 || driverByte == DRIVER_SENSE_ONLY) &&
                     HostIoScsiStatusCompleted(request.scsiStatus);
    return HostIoCommandStatus(request.sense, std::min(request.senseLength, request.senseCapacity), completed);
}
