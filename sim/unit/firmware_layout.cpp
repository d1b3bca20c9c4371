#include "sim/unit/firmware_layout.h"

bool RevisionTakesOldLayout(const std::string& revision)
{
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value = (value << 8) | (i < revision.size() ? static_cast<uint8_t>(revision[i]) : 0x20u);
    }
    return value < 0x312E3939u;
}
