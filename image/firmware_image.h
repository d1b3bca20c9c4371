// Loading a firmware image file into memory and identifying its layout. Units below revision 1.99
// take the old layout, units at 1.99 or later the new one; both carry an identification block at
// image offset 0x2000 with the version text that the main dialog shows.
//
// Failures are reported once, through the ImageMessageSink, with messages 4003-4007.
#pragma once

#include "image/image_message_sink.h"
#include "platform/win32_types.h"

enum {
    FIRMWARE_IMAGE_CAPACITY = 0x30000,    // the image buffer; also the largest new-layout image
    IMAGE_OLD_LAYOUT_MAX = 0x10000,       // the largest old-layout image
    IMAGE_BLOCK_OFFSET = 0x2000,          // the identification block in both layouts
    IMAGE_OLD_VERSION_OFFSET = 0x18,      // old layout: version text, from the block
    IMAGE_NEW_LENGTH_OFFSET = 0x08,       // new layout: image length L, big-endian, from the block
    IMAGE_NEW_SLOT_OFFSET = 0x2C,         // new layout: version slot 0, from the block
    IMAGE_NEW_SLOT_SIZE = 0x24,           // new layout: four slots of 36 bytes
    IMAGE_OLD_LAYOUT_MIN = 0x201C,        // shortest file that holds the old block and its version
    IMAGE_NEW_LAYOUT_MIN = 0x20BC,        // shortest file that holds the new block and its four slots
    IMAGE_VERSION_LENGTH = 4,             // version texts are four characters, possibly NUL-ended
};

// The image buffer and its length. Before loading, size holds the capacity; after a successful load
// the file's length. Bytes beyond the file are 0xFF (the buffer is filled before every load), so the
// pad byte of an odd-sized image is 0xFF.
struct FirmwareImage {
    BYTE bytes[FIRMWARE_IMAGE_CAPACITY];
    LONG size;
};

// Reads the whole file at `path` into `image`. On entry *length is the buffer's capacity; on success
// it is the file's length. 0 on success, -1 on failure (4003 cannot open, 4005 size not found,
// 4006 empty or larger than the capacity, 4004 read failed; a failed close gives -1 alone).
int ImageLoadFile(const char* path, BYTE* image, LONG* length, ImageMessageSink& sink);

// The identification block (image + 0x2000) of an old-layout image, or null: 4006 when the length is
// outside 1..0x10000 or too short for the block, 4007 when "VORNA   QZV-57" is not there.
const BYTE* ImageCheckOldLayout(const BYTE* image, LONG length, ImageMessageSink& sink);

// The identification block of a new-layout image, or null: 4006 when the length is outside 1..0x30000
// or too short for the block and its slots, 4007 when the tag "VRNC7Q52" is not there, 4006 when the
// image is shorter than its length field.
const BYTE* ImageCheckNewLayout(const BYTE* image, LONG length, ImageMessageSink& sink);

// Whether the first `length` bytes of an image carry the old layout's identification ("VORNA   QZV-57"
// at 0x2000, with room for the version after it) or the new layout's tag ("VRNC7Q52" at 0x2000).
bool ImageHasOldIdentification(const BYTE* image, DWORD length);
bool ImageHasNewTag(const BYTE* image, DWORD length);

// The version slot (0..3) of a new-layout unit: bits 13 and 14 of its configuration value.
DWORD ImageVersionSlot(DWORD configuration);

// The four-character version text within an identified block.
const BYTE* ImageOldVersionText(const BYTE* block);
const BYTE* ImageNewVersionText(const BYTE* block, DWORD configuration);
