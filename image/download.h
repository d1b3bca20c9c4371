// The two firmware download procedures, installed into unit entries by the unit table, and the CRC
// that the new procedure sends with its header. Both send SCSI WRITE BUFFER commands only through
// the entry's getCdb and execute, issue each command once and stop at the first nonzero status, so
// a failure never leads to the saving command.
#pragma once

#include "unit/unit_table.h"

// Units below revision 1.99: the whole image (at most 0x10000 bytes, an odd length made even) in one
// command. 5 without a command when there is no CDB area, the image is too large or it does not
// carry the old layout's identification.
UnitStatus ImageDownloadOld(UnitEntry* entry, DWORD length, BYTE* image);

// Units at 1.99 or later: an 8-byte header (length field of the image, CRC-32 over that many bytes),
// then the pieces at 0x20000 and 0x10000 as far as the image reaches, then the piece at 0 with save.
// 5 without a command when there is no CDB area, the image exceeds 0x30000 bytes, is too short to
// hold its length field, lacks the new layout's tag, or its length field (made even) differs from
// `length`.
UnitStatus ImageDownloadNew(UnitEntry* entry, DWORD length, BYTE* image);

// CRC-32 with polynomial 0x04C11DB7, initial value 0xFFFFFFFF, most significant bit first, result
// complemented; computed bit by bit. "123456789" gives 0xFC891918.
DWORD ImageCrc32(const BYTE* data, DWORD length);
