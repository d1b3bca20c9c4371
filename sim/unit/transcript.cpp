#include "sim/unit/transcript.h"

#include <cstdio>

#include "sim/unit/sha256.h"

namespace {

const char* DirectionName(SimDirection direction)
{
    switch (direction) {
    case SimDirection::In:
        return "in";
    case SimDirection::Out:
        return "out";
    default:
        return "none";
    }
}

std::string Outcome(const SimResult& result)
{
    if (result.scsiStatus == 0) {
        return "GOOD";
    }
    char text[48];
    const std::vector<uint8_t>& sense = result.sense;
    const bool fixedFormat = sense.size() >= 14 && ((sense[0] & 0x7F) == 0x70 || (sense[0] & 0x7F) == 0x71);
    if (fixedFormat) {
        std::snprintf(text, sizeof text, "CHECK %02X/%02X/%02X", sense[2] & 0x0F, sense[12], sense[13]);
    } else {
        std::snprintf(text, sizeof text, "CHECK status %02X, %u sense bytes", result.scsiStatus,
                      static_cast<unsigned>(sense.size()));
    }
    return text;
}

}  // namespace

std::string SimTranscriptLine(const SimCommand& command)
{
    std::string line;
    char hex[4];
    for (size_t i = 0; i < command.cdb.size(); ++i) {
        std::snprintf(hex, sizeof hex, i == 0 ? "%02X" : " %02X", command.cdb[i]);
        line += hex;
    }
    const std::vector<uint8_t>& data = command.direction == SimDirection::Out  ? command.dataOut
                                       : command.direction == SimDirection::In ? command.dataIn
                                                                               : std::vector<uint8_t>();
    line += " | ";
    line += DirectionName(command.direction);
    line += " | " + std::to_string(command.length);
    line += " | " + Sha256Hex(data.data(), data.size());
    line += " | " + Outcome(command.result);
    return line;
}

std::string SimTranscript(const std::vector<SimCommand>& commands)
{
    std::string text;
    for (const SimCommand& command : commands) {
        text += SimTranscriptLine(command) + "\n";
    }
    return text;
}
