#include "sim/iscsi/scsi_target_layer.h"

#include <algorithm>
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/sense_data.h"

namespace {

constexpr uint8_t CHECK_CONDITION = 0x02;
constexpr uint8_t OPCODE_INQUIRY = 0x12;
constexpr uint8_t OPCODE_READ_CAPACITY_10 = 0x25;
constexpr uint8_t OPCODE_SERVICE_ACTION_IN_16 = 0x9E;
constexpr uint8_t SERVICE_ACTION_READ_CAPACITY_16 = 0x10;
constexpr uint8_t OPCODE_REPORT_LUNS = 0xA0;

constexpr SenseCode SENSE_LUN_NOT_SUPPORTED{SENSE_KEY_ILLEGAL_REQUEST, 0x25, 0x00};

SimResult Check(SenseCode code)
{
    SimResult result;
    result.scsiStatus = CHECK_CONDITION;
    result.sense = FixedSense(code);
    return result;
}

// Data-in of what the target has, cut to the CDB's allocation length and the host's buffer.
SimResult Deliver(SimDirection direction, uint8_t* data, uint32_t length, const uint8_t* bytes, uint32_t available,
                  uint32_t allocation)
{
    if (direction != SimDirection::In || (length != 0 && data == nullptr))
        return Check(SENSE_INVALID_FIELD_IN_CDB);
    SimResult result;
    result.transferred = std::min({available, allocation, length});
    if (result.transferred != 0)
        std::memcpy(data, bytes, result.transferred);
    return result;
}

SimResult ReportLuns(const uint8_t* cdb, SimDirection direction, uint8_t* data, uint32_t length)
{
    const uint32_t allocation = ReadBe32(cdb + 6);
    if (allocation < 16)
        return Check(SENSE_INVALID_FIELD_IN_CDB);
    uint8_t list[16] = {};
    list[3] = 8;  // one LUN of 8 bytes; LUN 0 is all zero
    return Deliver(direction, data, length, list, sizeof list, allocation);
}

SimResult ReadCapacity16(SimUnit& unit, const uint8_t* cdb, SimDirection direction, uint8_t* data, uint32_t length)
{
    if (direction != SimDirection::In)
        return Check(SENSE_INVALID_FIELD_IN_CDB);
    const uint8_t readCapacity10[10] = {OPCODE_READ_CAPACITY_10};
    uint8_t capacity[8] = {};
    const SimResult asked = unit.Execute(readCapacity10, sizeof readCapacity10, SimDirection::In, capacity, 8);
    if (asked.deviceGone || asked.scsiStatus != 0)
        return asked;
    if (asked.transferred < 8)
        return Check(SENSE_INVALID_FIELD_IN_CDB);
    uint8_t answer[32] = {};
    std::memcpy(answer + 4, capacity, 8);  // last LBA in the low half of the 8-byte field, then the block length
    return Deliver(direction, data, length, answer, sizeof answer, ReadBe32(cdb + 10));
}

SimResult SupportedVpdPages(SimUnit& unit, const uint8_t* cdb, SimDirection direction, uint8_t* data, uint32_t length)
{
    const uint8_t page[5] = {unit.InquiryData()[0], 0x00, 0x00, 0x01, 0x00};
    return Deliver(direction, data, length, page, sizeof page, ReadBe16(cdb + 3));
}

SimResult NoUnitInquiry(const uint8_t* cdb, SimDirection direction, uint8_t* data, uint32_t length)
{
    if ((cdb[1] & 0x01) != 0)
        return Check(SENSE_LUN_NOT_SUPPORTED);
    uint8_t inquiry[36] = {0x7F, 0x00, 0x05, 0x02, 31};
    return Deliver(direction, data, length, inquiry, sizeof inquiry, ReadBe16(cdb + 3));
}

}  // namespace

SimResult ScsiTargetExecute(SimUnit& unit, long lun, const uint8_t* cdb, size_t cdbLength, SimDirection direction,
                            uint8_t* data, uint32_t length)
{
    if (!unit.Present()) {
        SimResult gone;
        gone.deviceGone = true;
        return gone;
    }
    const uint8_t opcode = cdbLength > 0 ? cdb[0] : 0;
    if (cdbLength >= 12 && opcode == OPCODE_REPORT_LUNS)
        return ReportLuns(cdb, direction, data, length);
    if (lun != 0) {
        if (cdbLength >= 6 && opcode == OPCODE_INQUIRY)
            return NoUnitInquiry(cdb, direction, data, length);
        return Check(SENSE_LUN_NOT_SUPPORTED);
    }
    if (cdbLength >= 16 && opcode == OPCODE_SERVICE_ACTION_IN_16 && (cdb[1] & 0x1F) == SERVICE_ACTION_READ_CAPACITY_16)
        return ReadCapacity16(unit, cdb, direction, data, length);
    if (cdbLength >= 6 && opcode == OPCODE_INQUIRY && (cdb[1] & 0x01) != 0 && cdb[2] == 0x00)
        return SupportedVpdPages(unit, cdb, direction, data, length);
    return unit.Execute(cdb, cdbLength, direction, data, length);
}

SimResult ScsiTargetRefuseTransfer() { return Check(SENSE_INVALID_FIELD_IN_CDB); }
