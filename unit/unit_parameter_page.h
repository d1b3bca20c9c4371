// The unit's vendor parameter page: 42 bytes read with opcode 0x06 and written with 0x05, held on
// the host as a UnitParameterRecord. Both commands are issued a second time when answered with
// 0x28000006.
//
// The page as exchanged: byte 0 is 0x29 (the number of bytes that follow), byte 1 is reserved,
// then five groups of eight bytes from offset 2: codeA, codeB, value32 (big-endian) and value16
// (little-endian). Units below revision 2.10 hold group 4's value32 in units of two: it is doubled
// on reading and halved on writing, so the record always holds the value itself.
#pragma once

#include "unit/unit_table.h"

enum {
    UNIT_PARAMETER_PAGE_LENGTH = 42,
    UNIT_PARAMETER_GROUPS = 5,
};

// Revisions below this one (the characters "2.10" read big-endian) hold group 4's value32 halved.
#define UNIT_REVISION_FULL_PARAMETER_VALUE 0x322E3130u
#define UNIT_PARAMETER_HALVED_GROUP 4

// True when a unit at `revision` holds this group's value32 in units of two.
bool UnitParameterGroupHeldHalved(DWORD group, DWORD revision);

struct UnitParameterGroup {
    DWORD codeA;    // one byte on the unit
    DWORD codeB;    // one byte on the unit
    DWORD value32;
    DWORD value16;  // 16 bits on the unit
};

struct UnitParameterRecord {
    DWORD valid;  // 1 after a successful read; not looked at when writing
    UnitParameterGroup groups[UNIT_PARAMETER_GROUPS];
};

// Reads the page into `record`. On a nonzero status the record is untouched. 5 for an index out of
// range or a null record.
UnitStatus UnitReadParameterPage(DWORD unit, UnitParameterRecord* record);
// Reads the page as the unit sends it. On a nonzero status `page` is untouched. 5 for an index out
// of range or a null page.
UnitStatus UnitReadParameterPageBytes(DWORD unit, BYTE page[UNIT_PARAMETER_PAGE_LENGTH]);

// True when the unit holds group 4's value halved and the value it holds has bit 31 set: doubled
// on reading, the record's value32 lacks that bit, so writing the record back would change it.
bool UnitParameterHalvedValueCut(const BYTE page[UNIT_PARAMETER_PAGE_LENGTH], DWORD revision);

// Writes `record` as the page: the low bytes of codeA and codeB, the low 16 bits of value16.
// 5 for an index out of range or a null record.
UnitStatus UnitWriteParameterPage(DWORD unit, const UnitParameterRecord* record);

// The page bytes for a record and back, for a unit at `revision`; exposed for the tool and tests.
void UnitParameterPageFromRecord(const UnitParameterRecord& record, DWORD revision,
                                 BYTE page[UNIT_PARAMETER_PAGE_LENGTH]);
void UnitParameterRecordFromPage(const BYTE page[UNIT_PARAMETER_PAGE_LENGTH], DWORD revision,
                                 UnitParameterRecord* record);
