// mot2bin IN OUT: converts the S-record file IN into the binary file OUT as the updater does, with
// the capacity of its image buffer. Exits with the conversion status (0 on success).
#include <cstdio>

#include "image/mot_convert.h"

namespace {
const uint32_t IMAGE_CAPACITY = 0x30000;
const int USAGE_ERROR = 64;
}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: mot2bin IN.mot OUT.bin\n");
        return USAGE_ERROR;
    }
    MotStatus status = MotConvertFile(argv[1], argv[2], IMAGE_CAPACITY);
    if (status != MOT_OK)
        std::fprintf(stderr, "mot2bin: converting %s to %s failed with status %d\n", argv[1], argv[2], status);
    return status;
}
