// The unit table: one process-wide table of the attached units, whatever transport reaches them,
// each entry with the same set of operations. Callers above this layer address a unit by its index
// (0 .. UnitCount() - 1) and never see a transport. The index is valid until the next UnitCount.
#pragma once

#include "host/host_io.h"
#include "platform/win32_types.h"

enum { UNIT_MAX = 64 };

// Revisions at or above this value (the characters "1.99" read big-endian) are of the new generation:
// new image layout, header-and-pieces download. Below it: old layout, one-command download.
#define UNIT_REVISION_NEW_GENERATION 0x312E3939u

// The device-class name passed to the host-interface enumeration; it is part of the per-unit mutex names.
#define UNIT_DEVICE_CLASS "QZV-5x"

struct UnitEntry;

// A unit's firmware download procedure. It reaches the unit only through the entry's getCdb, execute
// and transportIndex. `length` is even; `image` holds at least `length` bytes.
typedef UnitStatus (*UnitDownloadProcedure)(UnitEntry* entry, DWORD length, BYTE* image);

// One unit. The field order is fixed; every operation except download takes transportIndex.
// Boolean operations return 1 or 0 and leave the reason in the thread's last error.
struct UnitEntry {
    // The configuration command's four data bytes as received, read little-endian. Filled when the
    // table is built and refreshed by every successful UnitReadConfiguration.
    DWORD configuration;
    // The unit's 16-byte CDB area, owned by the transport; null when there is none.
    UnitCdbOperation getCdb;
    // Runs the CDB written into the area; see host/host_io.h for the status rule.
    UnitExecuteOperation execute;
    UnitQueryOperation getDriveLetter, getDeviceNumber;
    UnitMediumOperation loadMedium, ejectMedium, lock, unlock;
    // INQUIRY bytes 32..35 (product revision level) read big-endian: "1.99" is 0x312E3939.
    DWORD firmwareRevision;
    // Chosen by firmwareRevision when the table is built; null means the unit cannot be updated.
    UnitDownloadProcedure download;
    // The unit's index within its own transport.
    DWORD transportIndex;
};

// Entries 0 .. hostCount-1 are host-interface units in enumeration order, then the vendor-USB units.
// After a successful build every entry from unitCount on is zero.
struct UnitTable {
    UnitEntry entries[UNIT_MAX];
    DWORD hostCount;  // 0..64
    DWORD usbCount;   // 0..32, never more than the room hostCount leaves
    DWORD unitCount;  // hostCount + usbCount, at most 64
};

// The table as it stands, for callers that read it (tests, diagnostics). Only this layer writes it.
const UnitTable& UnitGetTable(void);

// The entry of a unit index, or null when the index is not below unitCount.
UnitEntry* UnitEntryAt(DWORD unit);

// The accepted 16-byte product identifications, null-terminated: "QZV-57G" and "QZV-57H", blank-padded.
extern const char* const UnitProductList[];

// Accepts INQUIRY data (36 bytes) whose vendor is "VORNA   " and whose product is in UnitProductList.
int UnitIdentityFilter(const BYTE* inquiry);

// INQUIRY bytes 32..35 as a big-endian number.
DWORD UnitRevisionFromInquiry(const BYTE* inquiry);

// Layer operations. UnitLayerOpen is 1 only when both the host interface and the vendor USB transport
// are up (cached until UnitLayerClose). UnitLayerClose closes both; the table is kept.
DWORD UnitLayerOpen(void);
DWORD UnitLayerClose(void);

// Opens the layer if needed, counts the units of both transports, rebuilds the table (sending every
// unit the configuration command and INQUIRY) and returns the number of units; 0 on any failure, and
// then every count is 0 when an INQUIRY failed during the build.
DWORD UnitCount(void);

// Rebuilds the entries for the counts already set. 1 on success, 0 when an INQUIRY failed.
DWORD UnitBuildTable(void);

// Per-unit dispatch. An index at or beyond unitCount returns 5 without touching any entry; otherwise
// the entry's operation result is returned unchanged (1 or 0 for the six medium/query operations).
DWORD UnitGetDriveLetter(DWORD unit, DWORD* letter);
DWORD UnitGetDeviceNumber(DWORD unit, DWORD* number);
DWORD UnitLoadMedium(DWORD unit);
DWORD UnitEjectMedium(DWORD unit);
DWORD UnitLock(DWORD unit);
DWORD UnitUnlock(DWORD unit);

// Runs the unit's download procedure on `length` bytes of `image` (the caller makes an odd file length
// even, so image must hold length bytes). 5 for a bad index or a unit without a procedure.
UnitStatus UnitDownloadFirmware(DWORD unit, DWORD length, BYTE* image);
