// The updater's command line: the bounded copy of its text, the parse into an ImageCommandLine
// record, and the file names formed from it (the S-record test, the conversion output name and the
// default image name). Plain functions without state of their own; multibyte text is stepped through
// the system seam (the system code page on Windows, UTF-8 on Linux).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win32_types.h"

// The command-line copy: at most 260 bytes of text and a terminating NUL.
#define IMAGE_COMMAND_LINE_MAX 260
#define IMAGE_COMMAND_LINE_SIZE (IMAGE_COMMAND_LINE_MAX + 1)

// The default image name: at most 16 name bytes, ".bin" and a NUL.
#define IMAGE_PRODUCT_ID_LENGTH 16
#define IMAGE_DEFAULT_NAME_SIZE 21

struct ImageCommandLine {
    // The image file to use: null, a token inside the command-line copy, or nameBuffer.
    char* imagePath;
    // Receives the conversion output name or the default image name.
    char nameBuffer[MAX_PATH];
    int32_t switchC;  // convert only
    int32_t switchR;  // accepted and stored
    int32_t switchV;  // accepted and stored
    int32_t switchW;  // accepted and stored; 1 by default
};

// Copies at most 260 bytes of source into dest (IMAGE_COMMAND_LINE_SIZE bytes) without splitting a
// multibyte character: a character that would not fit whole is dropped. dest is always terminated;
// a null source gives an empty text.
void ImageCopyCommandLine(char* dest, const char* source);

// The Linux command-line text: the arguments joined by single blanks, then copied into dest
// (IMAGE_COMMAND_LINE_SIZE bytes) exactly as ImageCopyCommandLine copies it. arguments are the
// program's arguments after its own name.
void ImageJoinArguments(char* dest, int count, const char* const* arguments);

// Resets record to the defaults (no path, c 0, r 0, V 0, W 1), then cuts text in place into tokens
// at runs of blank, tab and semicolon and takes each token in order: a switch ("-" or, on Windows
// only, "/" first) or the image path. Returns 1 when every token was accepted, 0 at the first that
// is not (later tokens unexamined, earlier settings kept). A null text counts as empty.
int ImageParseCommandLine(ImageCommandLine* record, char* text);

// One switch; tail is the token after its "-" or "/". Its first character selects V, W, c or r
// (case-sensitive), the rest is the value. Returns 1 accepted, 0 rejected.
int ImageParseSwitch(ImageCommandLine* record, const char* tail);

// "" or "+" sets *target to 1, "-" to 0; returns 1. Anything else leaves *target and returns 0.
int ImageParseSwitchValue(const char* value, int32_t* target);

// Takes token as the image path. Returns 1, or 0 when a path is already set.
int ImageSetPath(ImageCommandLine* record, char* token);

// 1 when the extension of path's last component is ".mot" in any letter case; 0 otherwise and 0
// for a null path.
int ImageIsMotFile(const char* path);

// Writes path with its extension replaced by extension (".bin") into out (MAX_PATH bytes) and
// returns out. A name that would not fit MAX_PATH bytes is refused: out becomes empty and the
// result is null. out may be path itself.
char* ImageMakeBinName(char* out, const char* path, const char* extension);

// Writes the default image name into out (IMAGE_DEFAULT_NAME_SIZE bytes) and returns out: the first
// min(length, 16) bytes of the prepared (lower-cased) product identification up to the first blank,
// less ASCII punctuation and bytes outside printable ASCII, followed by ".bin".
char* ImageMakeDefaultName(char* out, const char* productId, size_t length);

// Lowers a conversion output name in place with the system's multibyte-aware case mapping: the
// whole path on Windows, the file name only on Linux (the directory part stays as given).
void ImageLowerOutputName(char* name);

// Why a conversion output name could not be formed.
enum ImageConversionName {
    IMAGE_CONVERSION_NAME_READY = 0,        // nameBuffer holds the lowered output name
    IMAGE_CONVERSION_NAME_NO_PATH = 1,      // the record has no image path; nothing formed
    IMAGE_CONVERSION_NAME_IS_INPUT = 2,     // the input's extension is ".bin" in some letter case:
                                            // the output would be the input itself, which must
                                            // not be converted
    IMAGE_CONVERSION_NAME_TOO_LONG = 3,     // the output name does not fit MAX_PATH bytes
};

// Forms the conversion output name of record's image path in record->nameBuffer: the path with the
// extension ".bin", lowered by ImageLowerOutputName. The image path is not changed (unless it is the
// name buffer itself). On any result but READY the record is left as it was.
ImageConversionName ImageFormConversionName(ImageCommandLine* record);
