// Loading an image file and identifying its layout.
#include "image/firmware_image.h"

#include <cstring>

#include "platform/byte_order.h"
#include "platform/system_table.h"

namespace {

// The one stored identification text: the new layout's tag, then the old layout's vendor and
// product stem.
const char IMAGE_SIGNATURE[] = "VRNC7Q52VORNA   QZV-57";
const size_t NEW_TAG_LENGTH = 8;
const size_t OLD_SIGNATURE_LENGTH = 14;  // "VORNA   QZV-57"
const size_t OLD_PRODUCT_LENGTH = 6;     // "QZV-57"

// Filled into the whole buffer before a load: the erased-flash value, so that the pad byte of an
// odd-sized image and anything beyond the file are defined.
const BYTE IMAGE_FILL = 0xFF;

// Reads the open file into the buffer and stores its length. 0 or the message to show.
int ReadWholeFile(HANDLE file, BYTE* image, LONG* length, ImageMessage* message)
{
    DWORD sizeHigh = 0;
    g_sys.SetLastError(NO_ERROR);
    const DWORD sizeLow = g_sys.GetFileSize(file, &sizeHigh);
    if (sizeLow == INVALID_FILE_SIZE && g_sys.GetLastError() != NO_ERROR) {
        *message = IMAGE_MESSAGE_SEEK_FAILED;
        return -1;
    }
    const long long size = static_cast<long long>(sizeHigh) << 32 | sizeLow;
    if (size < 1 || size > *length) {
        *message = IMAGE_MESSAGE_INVALID_SIZE;
        return -1;
    }
    *length = static_cast<LONG>(size);
    DWORD read = 0;
    if (!g_sys.ReadFile(file, image, static_cast<DWORD>(size), &read, nullptr) || read != size) {
        *message = IMAGE_MESSAGE_READ_FAILED;
        return -1;
    }
    return 0;
}

// Shows why an image is refused; the identification then returns no block.
const BYTE* Refused(ImageMessageSink& sink, ImageMessage message)
{
    sink.ShowImageMessage(message, nullptr);
    return nullptr;
}

}  // namespace

int ImageLoadFile(const char* path, BYTE* image, LONG* length, ImageMessageSink& sink)
{
    if (*length > 0)
        std::memset(image, IMAGE_FILL, static_cast<size_t>(*length));

    const HANDLE file =
        g_sys.CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE || !file) {
        sink.ShowImageMessage(IMAGE_MESSAGE_CANNOT_OPEN, path);
        return -1;
    }
    ImageMessage message = IMAGE_MESSAGE_READ_FAILED;
    int result = ReadWholeFile(file, image, length, &message);
    if (result != 0)
        sink.ShowImageMessage(message, nullptr);
    if (!g_sys.CloseHandle(file))
        result = -1;
    return result;
}

const BYTE* ImageCheckOldLayout(const BYTE* image, LONG length, ImageMessageSink& sink)
{
    if (length < IMAGE_OLD_LAYOUT_MIN || length > IMAGE_OLD_LAYOUT_MAX)
        return Refused(sink, IMAGE_MESSAGE_INVALID_SIZE);
    if (!ImageHasOldIdentification(image, static_cast<DWORD>(length)))
        return Refused(sink, IMAGE_MESSAGE_INVALID_IMAGE);
    return image + IMAGE_BLOCK_OFFSET;
}

const BYTE* ImageCheckNewLayout(const BYTE* image, LONG length, ImageMessageSink& sink)
{
    if (length < IMAGE_NEW_LAYOUT_MIN || length > FIRMWARE_IMAGE_CAPACITY)
        return Refused(sink, IMAGE_MESSAGE_INVALID_SIZE);
    const BYTE* block = image + IMAGE_BLOCK_OFFSET;
    if (!ImageHasNewTag(image, static_cast<DWORD>(length)))
        return Refused(sink, IMAGE_MESSAGE_INVALID_IMAGE);
    if (static_cast<DWORD>(length) < ReadBigEndian32(block + IMAGE_NEW_LENGTH_OFFSET))
        return Refused(sink, IMAGE_MESSAGE_INVALID_SIZE);
    return block;
}

bool ImageHasOldIdentification(const BYTE* image, DWORD length)
{
    if (length < IMAGE_OLD_LAYOUT_MIN)
        return false;
    const BYTE* block = image + IMAGE_BLOCK_OFFSET;
    const char* oldSignature = IMAGE_SIGNATURE + NEW_TAG_LENGTH;
    const char* oldProduct = IMAGE_SIGNATURE + sizeof IMAGE_SIGNATURE - 1 - OLD_PRODUCT_LENGTH;
    return std::memcmp(block, oldSignature, OLD_SIGNATURE_LENGTH) == 0 &&
           std::memcmp(block + 8, oldProduct, OLD_PRODUCT_LENGTH) == 0;
}

bool ImageHasNewTag(const BYTE* image, DWORD length)
{
    return length >= IMAGE_BLOCK_OFFSET + NEW_TAG_LENGTH &&
           std::memcmp(image + IMAGE_BLOCK_OFFSET, IMAGE_SIGNATURE, NEW_TAG_LENGTH) == 0;
}

DWORD ImageVersionSlot(DWORD configuration)
{
    return (configuration >> 13) & 3;
}

const BYTE* ImageOldVersionText(const BYTE* block)
{
    return block + IMAGE_OLD_VERSION_OFFSET;
}

const BYTE* ImageNewVersionText(const BYTE* block, DWORD configuration)
{
    return block + IMAGE_NEW_SLOT_OFFSET + IMAGE_NEW_SLOT_SIZE * ImageVersionSlot(configuration);
}
