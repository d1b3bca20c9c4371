// READ CAPACITY(10), READ(10) and WRITE(10) on the card in the slot (blocks of 512 bytes).
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/unit_state.h"

SimReply SimUnit::State::ReadCapacity(const SimRequest& request)
{
    const bool partialMedium = (request.cdb[8] & 0x01) != 0;
    if (request.cdb[1] != 0 || (!partialMedium && ReadBe32(request.cdb + 2) != 0)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (!config.mediumPresent) {
        return {SENSE_MEDIUM_NOT_PRESENT};
    }
    uint8_t capacity[8];
    WriteBe32(capacity, config.cardBlocks - 1);
    WriteBe32(capacity + 4, SIM_BLOCK_SIZE);
    return DataIn(request, capacity, sizeof capacity);
}

SimReply SimUnit::State::ReadWriteBlocks(const SimRequest& request)
{
    const bool write = request.cdb[0] == 0x2A;
    const uint32_t block = ReadBe32(request.cdb + 2);
    const uint32_t blocks = ReadBe16(request.cdb + 7);
    const uint32_t bytes = blocks * SIM_BLOCK_SIZE;
    const bool phaseMatches = blocks == 0 ? NoData(request)
                              : write     ? DataOut(request, bytes)
                                          : request.direction == SimDirection::In && request.length == bytes &&
                                            request.data != nullptr;
    if (request.cdb[1] != 0 || request.cdb[6] != 0 || !phaseMatches) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (!config.mediumPresent) {
        return {SENSE_MEDIUM_NOT_PRESENT};
    }
    if (block >= config.cardBlocks || blocks > config.cardBlocks - block) {
        return {SENSE_LBA_OUT_OF_RANGE};
    }
    uint8_t* media = card.data() + static_cast<size_t>(block) * SIM_BLOCK_SIZE;
    if (bytes != 0) {
        write ? std::memcpy(media, request.data, bytes) : std::memcpy(request.data, media, bytes);
    }
    return {SENSE_GOOD, bytes};
}
