// Failing unit statuses in words: the eight hexadecimal digits the updater shows, the sense key's
// name and the meaning of the additional sense code and qualifier, from a small table of the codes
// a technician meets with these units. Statuses the unit layer and its transports make themselves
// (2, 4, 5, 6, 11, 0xFFFFFFFF) are explained as such.
#pragma once

#include <cstdint>
#include <string>

#include "report.h"

struct StatusDescription {
    std::string hex;       // "0x%08lx"
    std::string senseKey;  // the sense key's name, e.g. "ILLEGAL REQUEST"
    uint8_t asc;
    uint8_t ascq;
    std::string meaning;   // plain words
};

// Where a status was made: from the sense data of a SCSI command, or by the vendor USB driver's
// transport, whose status block reports ASC and ASCQ but no sense key.
enum class StatusSource { SENSE, VENDOR_USB };

StatusDescription DescribeStatus(uint32_t status, StatusSource source = StatusSource::SENSE);

// The sense key's name (0..15).
const char* SenseKeyName(unsigned senseKey);

// The meaning of an ASC/ASCQ pair in plain words; null when the table does not know it.
const char* AdditionalSenseMeaning(uint8_t asc, uint8_t ascq);

// "0x05240000 ILLEGAL REQUEST: invalid field in CDB (ASC 0x24, ASCQ 0x00)".
std::string StatusLine(uint32_t status, StatusSource source = StatusSource::SENSE);

// The status as report fields: status, hex, senseKey, asc, ascq, meaning.
Report StatusReport(uint32_t status, StatusSource source = StatusSource::SENSE);
