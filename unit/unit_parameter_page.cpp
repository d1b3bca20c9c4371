// Reading and writing the vendor parameter page, and its conversion to and from the host record.
#include "unit/unit_parameter_page.h"

#include <cstring>

#include "unit/unit_command_runner.h"

namespace {

const BYTE PAGE_FOLLOWING_BYTES = UNIT_PARAMETER_PAGE_LENGTH - 1;  // byte 0 of the page
const BYTE READ_PARAMETER_PAGE = 0x06;
const BYTE WRITE_PARAMETER_PAGE = 0x05;

DWORD GroupOffset(DWORD group)
{
    return 2 + 8 * group;
}

}  // namespace

bool UnitParameterGroupHeldHalved(DWORD group, DWORD revision)
{
    return group == UNIT_PARAMETER_HALVED_GROUP && revision < UNIT_REVISION_FULL_PARAMETER_VALUE;
}

bool UnitParameterHalvedValueCut(const BYTE page[UNIT_PARAMETER_PAGE_LENGTH], DWORD revision)
{
    return UnitParameterGroupHeldHalved(UNIT_PARAMETER_HALVED_GROUP, revision) &&
           (page[GroupOffset(UNIT_PARAMETER_HALVED_GROUP) + 2] & 0x80) != 0;
}

void UnitParameterPageFromRecord(const UnitParameterRecord& record, DWORD revision,
                                 BYTE page[UNIT_PARAMETER_PAGE_LENGTH])
{
    page[0] = PAGE_FOLLOWING_BYTES;
    page[1] = 0;
    for (DWORD g = 0; g < UNIT_PARAMETER_GROUPS; ++g) {
        const UnitParameterGroup& group = record.groups[g];
        DWORD value32 = group.value32;
        if (UnitParameterGroupHeldHalved(g, revision))
            value32 >>= 1;
        BYTE* bytes = page + GroupOffset(g);
        bytes[0] = BYTE(group.codeA);
        bytes[1] = BYTE(group.codeB);
        bytes[2] = BYTE(value32 >> 24);
        bytes[3] = BYTE(value32 >> 16);
        bytes[4] = BYTE(value32 >> 8);
        bytes[5] = BYTE(value32);
        bytes[6] = BYTE(group.value16);
        bytes[7] = BYTE(group.value16 >> 8);
    }
}

void UnitParameterRecordFromPage(const BYTE page[UNIT_PARAMETER_PAGE_LENGTH], DWORD revision,
                                 UnitParameterRecord* record)
{
    record->valid = 1;
    for (DWORD g = 0; g < UNIT_PARAMETER_GROUPS; ++g) {
        const BYTE* bytes = page + GroupOffset(g);
        UnitParameterGroup& group = record->groups[g];
        group.codeA = bytes[0];
        group.codeB = bytes[1];
        group.value32 = DWORD(bytes[2]) << 24 | DWORD(bytes[3]) << 16 | DWORD(bytes[4]) << 8 | DWORD(bytes[5]);
        group.value16 = DWORD(bytes[6]) | DWORD(bytes[7]) << 8;
    }
    if (UnitParameterGroupHeldHalved(UNIT_PARAMETER_HALVED_GROUP, revision))
        record->groups[UNIT_PARAMETER_HALVED_GROUP].value32 <<= 1;
}

UnitStatus UnitReadParameterPageBytes(DWORD unit, BYTE page[UNIT_PARAMETER_PAGE_LENGTH])
{
    const UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || !page)
        return UNIT_STATUS_BAD_ARGUMENT;
    BYTE received[UNIT_PARAMETER_PAGE_LENGTH] = {};
    const UnitCommand command = {{READ_PARAMETER_PAGE, 0x00, 0x00, 0x00, UNIT_PARAMETER_PAGE_LENGTH, 0x00},
                                 6,
                                 UnitDataIn,
                                 received,
                                 UNIT_PARAMETER_PAGE_LENGTH,
                                 UNIT_RETRY_ONCE};
    const UnitStatus status = UnitRunOnEntry(*entry, command);
    if (status == 0)
        std::memcpy(page, received, sizeof received);
    return status;
}

UnitStatus UnitReadParameterPage(DWORD unit, UnitParameterRecord* record)
{
    if (!record)
        return UNIT_STATUS_BAD_ARGUMENT;
    BYTE page[UNIT_PARAMETER_PAGE_LENGTH];
    const UnitStatus status = UnitReadParameterPageBytes(unit, page);
    if (status != 0)
        return status;
    UnitParameterRecordFromPage(page, UnitEntryAt(unit)->firmwareRevision, record);
    return 0;
}

UnitStatus UnitWriteParameterPage(DWORD unit, const UnitParameterRecord* record)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || !record)
        return UNIT_STATUS_BAD_ARGUMENT;
    BYTE page[UNIT_PARAMETER_PAGE_LENGTH];
    UnitParameterPageFromRecord(*record, entry->firmwareRevision, page);
    const DWORD length = DWORD(page[0]) + 1;
    const UnitCommand command = {{WRITE_PARAMETER_PAGE, 0x00, 0x00, 0x00, BYTE(length), 0x00},
                                 6,
                                 UnitDataOut,
                                 page,
                                 length,
                                 UNIT_RETRY_ONCE};
    return UnitRunOnEntry(*entry, command);
}
