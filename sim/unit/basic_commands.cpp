// INQUIRY, TEST UNIT READY, REQUEST SENSE, START STOP UNIT and REZERO UNIT.
#include <algorithm>
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/unit_state.h"

namespace {

constexpr uint32_t INQUIRY_LENGTH = 36;

}  // namespace

std::vector<uint8_t> SimUnit::State::InquiryBytes() const
{
    std::vector<uint8_t> inquiry(INQUIRY_LENGTH, ' ');
    inquiry[0] = 0x00;  // direct-access device
    inquiry[1] = 0x80;  // removable medium
    inquiry[2] = 0x02;
    inquiry[3] = 0x02;  // response data format
    inquiry[4] = INQUIRY_LENGTH - 5;
    inquiry[5] = inquiry[6] = inquiry[7] = 0;
    std::memcpy(&inquiry[8], config.vendor.data(), std::min<size_t>(config.vendor.size(), 8));
    std::memcpy(&inquiry[16], config.product.data(), std::min<size_t>(config.product.size(), 16));
    std::memcpy(&inquiry[32], config.revision.data(), 4);
    return inquiry;
}

SimReply SimUnit::State::Inquiry(const SimRequest& request)
{
    // Only the standard data: no vital product data pages.
    if (request.cdb[1] != 0 || request.cdb[2] != 0) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const uint32_t allocation = ReadBe16(request.cdb + 3);
    const std::vector<uint8_t> inquiry = InquiryBytes();
    return DataIn(request, inquiry.data(), std::min(allocation, INQUIRY_LENGTH));
}

SimReply SimUnit::State::TestUnitReady(const SimRequest& request)
{
    if (!NoData(request)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    return {config.mediumPresent ? SENSE_GOOD : SENSE_MEDIUM_NOT_PRESENT};
}

SimReply SimUnit::State::RequestSense(const SimRequest& request)
{
    // Descriptor-format sense is not offered.
    if ((request.cdb[1] & 0x01) != 0) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const std::vector<uint8_t> sense = FixedSense(pendingSense);
    const SimReply reply = DataIn(request, sense.data(), std::min<uint32_t>(request.cdb[4], FIXED_SENSE_LENGTH));
    if (reply.sense.Good()) {
        pendingSense = SENSE_GOOD;
    }
    return reply;
}

SimReply SimUnit::State::StartStopUnit(const SimRequest& request)
{
    const uint8_t flags = request.cdb[4];
    if (!NoData(request) || (flags & 0xFC) != 0) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const bool start = (flags & 0x01) != 0;
    const bool loadEject = (flags & 0x02) != 0;
    if (loadEject) {
        config.mediumPresent = start;
    }
    return {SENSE_GOOD};
}

SimReply SimUnit::State::Rezero(const SimRequest& request)
{
    if (!NoData(request)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    return {SENSE_GOOD};
}
