#include "sim/iscsi/iscsi_pdu.h"

long IscsiLunNumber(const uint8_t* field)
{
    const unsigned method = field[0] >> 6;
    for (size_t i = 2; i < 8; ++i) {
        if (field[i] != 0)
            return -1;
    }
    if (method == 0)
        return field[0] == 0 ? field[1] : -1;  // peripheral addressing on bus 0
    if (method == 1)
        return long(field[0] & 0x3F) << 8 | field[1];
    return -1;
}
