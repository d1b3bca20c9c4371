// The unit's two memory spaces. The word-wide space (read 0x20, write 0x22) and the even-address space
// (read 0x24, write 0x26) are both addressed in bytes but move whole 16-bit words: a command starts at
// an even address and moves an even count of at most 64 KiB. The even-address space holds data only at
// even addresses: odd bytes read as 0 and are dropped on writing.
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/unit_state.h"

namespace {

constexpr uint32_t MAX_MEMORY_TRANSFER = 0x10000;

}  // namespace

SimReply SimUnit::State::MemoryAccess(const SimRequest& request)
{
    const uint8_t opcode = request.cdb[0];
    const bool evenSpace = opcode == 0x24 || opcode == 0x26;
    const bool write = opcode == 0x22 || opcode == 0x26;
    std::vector<uint8_t>& space = evenSpace ? evenMemory : memory;
    const uint32_t address = ReadBe32(request.cdb + 2);
    const uint32_t count = ReadBe32(request.cdb + 6);

    if (request.cdb[1] != 0 || (address & 1) != 0 || (count & 1) != 0 || count == 0 || count > MAX_MEMORY_TRANSFER) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    const bool phaseMatches = write ? DataOut(request, count)
                                    : request.direction == SimDirection::In && request.length == count &&
                                          request.data != nullptr;
    if (!phaseMatches) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (address >= space.size() || count > space.size() - address) {
        return {SENSE_LBA_OUT_OF_RANGE};
    }
    if (!write) {
        std::memcpy(request.data, space.data() + address, count);
    } else if (!evenSpace) {
        std::memcpy(space.data() + address, request.data, count);
    } else {
        for (uint32_t i = 0; i < count; i += 2) {
            space[address + i] = request.data[i];
        }
    }
    return {SENSE_GOOD, count};
}
