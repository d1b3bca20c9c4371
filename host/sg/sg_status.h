// How the outcome of one SG_IO request becomes a UnitStatus: the sense data packed as every transport
// packs it, and status 4 for a request that failed without sense data saying why.
#pragma once

#include <cstddef>

#include "host/host_io.h"
#include "host/sg/sg_device_calls.h"

// Sense key, additional sense code and qualifier as read from sense data. `recognised` is true for
// fixed-format (response codes 0x70, 0x71) and descriptor-format (0x72, 0x73) data long enough to
// hold the sense key; data in any other format is read at the fixed-format positions, as the
// pass-through transport reads it, but is not recognised.
struct SgSense {
    bool recognised;
    BYTE key;
    BYTE asc;
    BYTE ascq;
};

// Reads no byte at or beyond `length`; a field beyond it is 0.
SgSense SgDecodeSense(const BYTE* sense, size_t length);

// (ASC << 24) | (ASCQ << 16) | (sense key & 0x0F).
UnitStatus SgPackSense(const SgSense& sense);

// The status of a request that the kernel ran: the packed sense when it is not 0; otherwise 4 when
// the host adapter or the driver reports a failure, or the target ended the command with a status
// other than good without recognisable sense data; otherwise 0.
UnitStatus SgStatusOfRequest(const SgRequest& request);
