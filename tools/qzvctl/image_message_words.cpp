// The image failures in words.
#include "image_message_words.h"

std::string ImageMessageWords(ImageMessage message, const char* path)
{
    switch (message) {
    case IMAGE_MESSAGE_CANNOT_OPEN: return std::string("cannot open the image '") + (path ? path : "") + "'";
    case IMAGE_MESSAGE_READ_FAILED: return "cannot read the image";
    case IMAGE_MESSAGE_SEEK_FAILED: return "cannot find the image's size";
    case IMAGE_MESSAGE_INVALID_SIZE: return "the image's size does not suit the layout this unit's revision takes";
    case IMAGE_MESSAGE_INVALID_IMAGE:
        return "the image does not carry the identification this unit's revision takes";
    }
    return "the image cannot be used";
}
