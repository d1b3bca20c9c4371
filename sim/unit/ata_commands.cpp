// The ATA register pass-through (opcode 0x56) to the card in the slot: function 1 loads the eight
// command-block registers, 2 reads them back (status in byte 7, error in byte 1), 3 runs a command
// without data, 4 and 5 run a PIO command that writes or reads the sector count of the CDB. ATA errors
// are reported in the registers, as the card does; the SCSI command itself still succeeds.
#include <cstring>

#include "sim/unit/cdb_fields.h"
#include "sim/unit/unit_state.h"

namespace {

enum : uint8_t {
    ATA_FUNCTION_WRITE_REGISTERS = 1,
    ATA_FUNCTION_READ_REGISTERS = 2,
    ATA_FUNCTION_EXECUTE = 3,
    ATA_FUNCTION_WRITE_SECTORS = 4,
    ATA_FUNCTION_READ_SECTORS = 5,
};

enum : uint8_t {
    ATA_READ_SECTORS = 0x20,
    ATA_READ_SECTORS_NO_RETRY = 0x21,
    ATA_WRITE_SECTORS = 0x30,
    ATA_WRITE_SECTORS_NO_RETRY = 0x31,
    ATA_IDENTIFY_DEVICE = 0xEC,
};

enum : uint8_t {
    ATA_STATUS_READY = 0x50,  // DRDY | DSC
    ATA_STATUS_ERROR = 0x51,  // DRDY | DSC | ERR
    ATA_ERROR_ABORTED = 0x04,
    ATA_ERROR_ID_NOT_FOUND = 0x10,
};

constexpr uint16_t DEFAULT_HEADS = 4;
constexpr uint16_t DEFAULT_SECTORS_PER_TRACK = 32;
constexpr uint16_t CURRENT_HEADS = 8;
constexpr uint16_t CURRENT_SECTORS_PER_TRACK = 16;

bool IsDataCommand(uint8_t command)
{
    return command == ATA_READ_SECTORS || command == ATA_READ_SECTORS_NO_RETRY || command == ATA_WRITE_SECTORS ||
           command == ATA_WRITE_SECTORS_NO_RETRY || command == ATA_IDENTIFY_DEVICE;
}

// ATA strings hold two characters per word, the first in the high byte.
void PutAtaString(uint16_t* words, const char* text, unsigned wordCount)
{
    const size_t length = std::strlen(text);
    for (unsigned i = 0; i < wordCount; ++i) {
        const uint8_t high = 2 * i < length ? static_cast<uint8_t>(text[2 * i]) : ' ';
        const uint8_t low = 2 * i + 1 < length ? static_cast<uint8_t>(text[2 * i + 1]) : ' ';
        words[i] = static_cast<uint16_t>((high << 8) | low);
    }
}

}  // namespace

void SimUnit::State::FillIdentifyData()
{
    identify.fill(0);
    const uint32_t blocks = config.cardBlocks;
    uint32_t cylinders = blocks / (DEFAULT_HEADS * DEFAULT_SECTORS_PER_TRACK);
    cylinders = cylinders == 0 ? 1 : (cylinders > 0xFFFF ? 0xFFFF : cylinders);
    identify[0] = 0x848A;  // removable card
    identify[1] = static_cast<uint16_t>(cylinders);
    identify[3] = DEFAULT_HEADS;
    identify[6] = DEFAULT_SECTORS_PER_TRACK;
    PutAtaString(&identify[10], "SIM0000000000000057", 10);
    PutAtaString(&identify[23], "1.00", 4);
    PutAtaString(&identify[27], "VORNA SIMULATED CARD", 20);
    identify[49] = 0x0200;  // LBA supported
    identify[53] = 0x0001;  // words 54-58 valid
    // The current translation differs from the default one, so that a reader of the wrong words shows.
    const uint32_t currentCylinders = blocks / (CURRENT_HEADS * CURRENT_SECTORS_PER_TRACK);
    identify[54] = static_cast<uint16_t>(currentCylinders == 0 ? 1 : currentCylinders);
    identify[55] = CURRENT_HEADS;
    identify[56] = CURRENT_SECTORS_PER_TRACK;
    const uint32_t currentCapacity = uint32_t(identify[54]) * CURRENT_HEADS * CURRENT_SECTORS_PER_TRACK;
    identify[57] = static_cast<uint16_t>(currentCapacity);
    identify[58] = static_cast<uint16_t>(currentCapacity >> 16);
    identify[60] = static_cast<uint16_t>(blocks);
    identify[61] = static_cast<uint16_t>(blocks >> 16);
}

void SimUnit::State::ResetAta()
{
    ataRegisters.fill(0);
    ataRegisters[2] = 1;
    ataRegisters[3] = 1;
    ataRegisters[7] = ATA_STATUS_READY;
}

SimReply SimUnit::State::AtaPassThrough(const SimRequest& request)
{
    const uint8_t* cdb = request.cdb;
    const uint8_t function = cdb[2];
    const uint32_t sectors = ReadBe16(cdb + 7);
    const bool sectorFunction = function == ATA_FUNCTION_WRITE_SECTORS || function == ATA_FUNCTION_READ_SECTORS;
    if (cdb[1] != 0 || cdb[3] != 0 || cdb[4] != 0 || cdb[5] != 0 || cdb[6] != 0 || cdb[9] != 0 ||
        function < ATA_FUNCTION_WRITE_REGISTERS || function > ATA_FUNCTION_READ_SECTORS ||
        (sectorFunction ? sectors == 0 : sectors != 0)) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }

    if (function == ATA_FUNCTION_WRITE_REGISTERS) {
        if (!DataOut(request, 8)) {
            return {SENSE_INVALID_FIELD_IN_CDB};
        }
        std::memcpy(ataRegisters.data(), request.data, 8);
        return {SENSE_GOOD, 8};
    }
    if (function == ATA_FUNCTION_READ_REGISTERS) {
        if (request.direction != SimDirection::In || request.length != 8) {
            return {SENSE_INVALID_FIELD_IN_CDB};
        }
        return DataIn(request, ataRegisters.data(), 8);
    }

    const uint32_t bytes = sectors * SIM_BLOCK_SIZE;
    const bool phaseMatches = function == ATA_FUNCTION_EXECUTE          ? NoData(request)
                              : function == ATA_FUNCTION_WRITE_SECTORS ? DataOut(request, bytes)
                                                                       : request.direction == SimDirection::In &&
                                                                             request.length == bytes &&
                                                                             request.data != nullptr;
    if (!phaseMatches) {
        return {SENSE_INVALID_FIELD_IN_CDB};
    }
    if (!config.mediumPresent) {
        return {SENSE_MEDIUM_NOT_PRESENT};
    }

    const uint8_t command = ataRegisters[7];
    auto finish = [&](uint8_t status, uint8_t error, uint32_t moved) {
        ataRegisters[7] = status;
        ataRegisters[1] = error;
        return SimReply{SENSE_GOOD, moved};
    };
    if (function == ATA_FUNCTION_EXECUTE) {
        return IsDataCommand(command) ? finish(ATA_STATUS_ERROR, ATA_ERROR_ABORTED, 0) : finish(ATA_STATUS_READY, 0, 0);
    }

    const bool reading = function == ATA_FUNCTION_READ_SECTORS;
    if (reading && command == ATA_IDENTIFY_DEVICE) {
        if (sectors != 1) {
            return finish(ATA_STATUS_ERROR, ATA_ERROR_ABORTED, 0);
        }
        for (unsigned i = 0; i < identify.size(); ++i) {
            WriteLe16(request.data + 2 * i, identify[i]);
        }
        return finish(ATA_STATUS_READY, 0, bytes);
    }
    const bool commandFits = reading ? (command == ATA_READ_SECTORS || command == ATA_READ_SECTORS_NO_RETRY)
                                     : (command == ATA_WRITE_SECTORS || command == ATA_WRITE_SECTORS_NO_RETRY);
    const uint32_t registerCount = ataRegisters[2] == 0 ? 256 : ataRegisters[2];
    const bool lbaMode = (ataRegisters[6] & 0x40) != 0;  // addressing by cylinder/head/sector is not offered
    if (!commandFits || !lbaMode || registerCount != sectors) {
        return finish(ATA_STATUS_ERROR, ATA_ERROR_ABORTED, 0);
    }
    const uint32_t lba = (uint32_t(ataRegisters[6] & 0x0F) << 24) | (uint32_t(ataRegisters[5]) << 16) |
                         (uint32_t(ataRegisters[4]) << 8) | ataRegisters[3];
    if (lba >= config.cardBlocks || sectors > config.cardBlocks - lba) {
        return finish(ATA_STATUS_ERROR, ATA_ERROR_ID_NOT_FOUND, 0);
    }
    uint8_t* media = card.data() + static_cast<size_t>(lba) * SIM_BLOCK_SIZE;
    reading ? std::memcpy(request.data, media, bytes) : std::memcpy(media, request.data, bytes);
    return finish(ATA_STATUS_READY, 0, bytes);
}
