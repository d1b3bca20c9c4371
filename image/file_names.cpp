// The file names formed from the command line: the S-record test, the conversion output name and
// the default image name.
#include <cstring>

#include "image/command_line.h"
#include "image/path_text.h"

namespace {

char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Compares text with a lower-case ASCII word, ignoring the case of single-byte letters.
bool EqualsIgnoringCase(const char* text, const char* lowerWord)
{
    for (; *lowerWord; ++text, ++lowerWord) {
        if (LowerAscii(*text) != *lowerWord)
            return false;
    }
    return *text == '\0';
}

// Bytes that a default image name leaves out: ASCII punctuation, and control bytes and everything
// outside printable ASCII, so that the name never holds a path separator or a control character.
bool IsLeftOutOfDefaultName(unsigned char c)
{
    return c <= 0x2F || (c >= 0x3A && c <= 0x40) || (c >= 0x5B && c <= 0x60) || c >= 0x7B;
}

}  // namespace

int ImageIsMotFile(const char* path)
{
    if (!path)
        return 0;
    return EqualsIgnoringCase(ImageFindExtension(path), ".mot") ? 1 : 0;
}

char* ImageMakeBinName(char* out, const char* path, const char* extension)
{
    if (!path || !extension) {
        out[0] = '\0';
        return nullptr;
    }
    size_t stem = static_cast<size_t>(ImageFindExtension(path) - path);
    size_t extensionLength = std::strlen(extension);
    if (stem + extensionLength >= MAX_PATH) {
        out[0] = '\0';
        return nullptr;
    }
    std::memmove(out, path, stem);
    std::memcpy(out + stem, extension, extensionLength + 1);
    return out;
}

char* ImageMakeDefaultName(char* out, const char* productId, size_t length)
{
    size_t used = 0;
    if (length > IMAGE_PRODUCT_ID_LENGTH)
        length = IMAGE_PRODUCT_ID_LENGTH;
    for (size_t i = 0; productId && i < length; ++i) {
        unsigned char c = static_cast<unsigned char>(productId[i]);
        if (c == ' ')
            break;
        if (!IsLeftOutOfDefaultName(c))
            out[used++] = static_cast<char>(c);
    }
    std::memcpy(out + used, ".bin", 5);
    return out;
}

void ImageLowerOutputName(char* name)
{
    char* part = IMAGE_LOWER_WHOLE_PATH ? name : const_cast<char*>(ImageFileNamePart(name));
    g_sys.CharLowerBuffA(part, static_cast<DWORD>(std::strlen(part)));
}

ImageConversionName ImageFormConversionName(ImageCommandLine* record)
{
    if (!record->imagePath)
        return IMAGE_CONVERSION_NAME_NO_PATH;
    if (EqualsIgnoringCase(ImageFindExtension(record->imagePath), ".bin"))
        return IMAGE_CONVERSION_NAME_IS_INPUT;
    char formed[MAX_PATH];
    if (!ImageMakeBinName(formed, record->imagePath, ".bin"))
        return IMAGE_CONVERSION_NAME_TOO_LONG;
    ImageLowerOutputName(formed);
    std::memcpy(record->nameBuffer, formed, std::strlen(formed) + 1);
    return IMAGE_CONVERSION_NAME_READY;
}
