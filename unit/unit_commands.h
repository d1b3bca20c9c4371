// The unit commands that carry the firmware update: INQUIRY and the vendor configuration command.
// Every command takes the unit index first and returns a UnitStatus (5 for an index out of range or a
// unit without a CDB area).
#pragma once

#include "unit/unit_table.h"

enum { UNIT_INQUIRY_LENGTH = 36 };

// Standard INQUIRY (12 00 00 00 24 00) into 36 bytes; issued once.
UnitStatus UnitInquiry(DWORD unit, BYTE* inquiry);

// The configuration command (13 00 00 00 04 00), 4 bytes read little-endian into *value; issued once.
// The statuses 2 (NOT READY) and 6 (UNIT ATTENTION) without ASC count as success (0) and give the
// entry's cached configuration, never bytes the unit did not send. 5 for a null value pointer.
UnitStatus UnitConfigurationCommand(DWORD unit, DWORD* value);

// The unit's configuration value. A busy unit (11) yields the cached value and 0; a success refreshes
// the cache. Any other status is returned as it is. 5 for a null value pointer.
UnitStatus UnitReadConfiguration(DWORD unit, DWORD* value);
