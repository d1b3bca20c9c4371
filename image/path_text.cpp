// Finding the parts of a path without mistaking the second byte of a multibyte character for a
// separator or a dot.
#include "image/path_text.h"

const char* ImageFileNamePart(const char* path)
{
    const char* name = path;
    for (const char* p = path; *p; p = ImageNextChar(p)) {
        if (ImageIsPathSeparator(*p))
            name = p + 1;
    }
    return name;
}

const char* ImageFindExtension(const char* path)
{
    const char* dot = nullptr;
    const char* p = ImageFileNamePart(path);
    for (; *p; p = ImageNextChar(p)) {
        if (*p == '.')
            dot = p;
    }
    return dot ? dot : p;
}
