// Loading and identifying the image for the unit found.
#include "app/unit_image.h"

#include "image/firmware_image.h"
#include "unit/unit_commands.h"

const BYTE* LoadImageForUnit(const char* path, DWORD unitIndex, DWORD revision, BYTE* image, LONG* imageSize,
                             ImageMessageSink& sink, UnitStatus* configurationStatus)
{
    *configurationStatus = 0;
    *imageSize = FIRMWARE_IMAGE_CAPACITY;
    if (ImageLoadFile(path, image, imageSize, sink) != 0)
        return nullptr;
    if (revision < UNIT_REVISION_NEW_GENERATION) {
        const BYTE* block = ImageCheckOldLayout(image, *imageSize, sink);
        return block ? ImageOldVersionText(block) : nullptr;
    }
    const BYTE* block = ImageCheckNewLayout(image, *imageSize, sink);
    if (!block)
        return nullptr;
    DWORD configuration = 0;
    *configurationStatus = UnitReadConfiguration(unitIndex, &configuration);
    if (*configurationStatus != 0)
        return nullptr;
    return ImageNewVersionText(block, configuration);
}
