#include "sim/unit/sense_data.h"

std::vector<uint8_t> FixedSense(SenseCode code)
{
    std::vector<uint8_t> sense(FIXED_SENSE_LENGTH, 0);
    sense[0] = 0x70;
    sense[2] = code.key & 0x0F;
    sense[7] = FIXED_SENSE_LENGTH - 8;  // additional sense length
    sense[12] = code.asc;
    sense[13] = code.ascq;
    return sense;
}
