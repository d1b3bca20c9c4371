// How the outcome of one SG_IO request becomes a UnitStatus: the host adapter's and the driver's
// verdicts decide whether the command completed, and the rule every transport shares does the rest.
#pragma once

#include "host/host_io.h"
#include "host/sg/sg_device_calls.h"

// The status of a request that the kernel ran: the packed sense when it says anything; otherwise 4
// when the host adapter or the driver reports a failure or the target ended the command with a
// status other than good, else 0. Sense bytes beyond senseLength or senseCapacity are never read.
UnitStatus SgStatusOfRequest(const SgRequest& request);
