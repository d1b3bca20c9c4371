// Motorola S-record to binary conversion: the data records become a memory image from address 0,
// with 0xFF wherever no record writes, written up to the highest address reached.
//
// The input is read in text mode done here, identically on every platform: a CR LF pair reads as
// LF, a byte 0x1A ends the input, and lines are taken in pieces of at most 513 characters.
#pragma once

#include <cstdint>

#include "image/mot_record.h"
#include "platform/win32_types.h"

// Size of the process-wide conversion buffer (byte n is the image byte at address n) and so the
// largest capacity. The one buffer makes the conversion non-reentrant; it holds nothing that
// matters between conversions.
#define MOT_BUFFER_SIZE 0x40000u

// Converts the S-records read from input into output, using at most capacity bytes of the buffer
// (records that do not fit are skipped). Both are open handles of the system seam; neither is
// closed. Returns 0, or 1 (reading failed), 6, 7, 8, 9, 10, 11 or 12. Nothing is written unless the
// whole input converted.
MotStatus MotConvertStream(HANDLE input, HANDLE output, uint32_t capacity);

// Converts the file inputPath into outputPath. The output is written to a temporary file beside it
// and renamed over outputPath only on success (image/file_replacement.h); on every failure an
// existing outputPath is left as it was and no temporary file remains. Returns any MotStatus: 1 input not opened or read,
// 2 output not created or not put in place, 3/4 closing failed, otherwise as MotConvertStream.
MotStatus MotConvertFile(const char* inputPath, const char* outputPath, uint32_t capacity);
