// The sense key names and this tool's table of additional sense codes.
#include "status_text.h"

#include <cstdio>

namespace {

struct AdditionalSense {
    uint8_t asc;
    uint8_t ascq;
    const char* meaning;
};

// The codes that units, cards and their drivers commonly report.
const AdditionalSense ADDITIONAL_SENSE[] = {
    {0x00, 0x00, "no additional sense information"},
    {0x04, 0x00, "logical unit not ready, cause not reportable"},
    {0x04, 0x01, "logical unit is in the process of becoming ready"},
    {0x04, 0x02, "logical unit not ready, initializing command required"},
    {0x04, 0x03, "logical unit not ready, manual intervention required"},
    {0x08, 0x00, "logical unit communication failure"},
    {0x0C, 0x00, "write error"},
    {0x11, 0x00, "unrecovered read error"},
    {0x1A, 0x00, "parameter list length error"},
    {0x20, 0x00, "invalid command operation code"},
    {0x21, 0x00, "logical block address out of range"},
    {0x24, 0x00, "invalid field in CDB"},
    {0x25, 0x00, "logical unit not supported"},
    {0x26, 0x00, "invalid field in parameter list"},
    {0x26, 0x01, "parameter not supported"},
    {0x26, 0x02, "parameter value invalid"},
    {0x27, 0x00, "write protected"},
    {0x28, 0x00, "not ready to ready change, medium may have changed"},
    {0x29, 0x00, "power on, reset, or bus device reset occurred"},
    {0x29, 0x01, "power on occurred"},
    {0x2A, 0x00, "parameters changed"},
    {0x2C, 0x00, "command sequence error"},
    {0x30, 0x00, "incompatible medium installed"},
    {0x3A, 0x00, "medium not present"},
    {0x3E, 0x00, "logical unit has not self-configured yet"},
    {0x44, 0x00, "internal target failure"},
    {0x53, 0x02, "medium removal prevented"},
};

const char* const SENSE_KEY_NAMES[16] = {
    "NO SENSE",        "RECOVERED ERROR", "NOT READY",       "MEDIUM ERROR",
    "HARDWARE ERROR",  "ILLEGAL REQUEST", "UNIT ATTENTION",  "DATA PROTECT",
    "BLANK CHECK",     "VENDOR SPECIFIC", "COPY ABORTED",    "ABORTED COMMAND",
    "EQUAL",           "VOLUME OVERFLOW", "MISCOMPARE",      "RESERVED",
};

// Statuses that the layer and the transports make without any sense data, so no sense key applies.
bool MadeByLayer(uint32_t status)
{
    return status == 4 || status == 5 || status == 11 || status == 0xFFFFFFFFu;
}

// What the layer and the transports mean by the small statuses they make without sense data.
const char* LayerMeaning(uint32_t status)
{
    switch (status) {
    case 2:
        return "the unit is not ready (no additional sense), or the exchange with a vendor-USB unit failed";
    case 4:
        return "host-interface transport failure: the command did not reach the unit";
    case 5:
        return "bad unit index or argument, or the unit could not be opened: no command was sent";
    case 6:
        return "unit attention (no additional sense)";
    case 11:
        return "the unit is busy: another program holds it (or an argument was missing)";
    case 0xFFFFFFFFu:
        return "no host interface is installed";
    default:
        return nullptr;
    }
}

}  // namespace

const char* SenseKeyName(unsigned senseKey)
{
    return SENSE_KEY_NAMES[senseKey & 0x0F];
}

const char* AdditionalSenseMeaning(uint8_t asc, uint8_t ascq)
{
    for (const AdditionalSense& entry : ADDITIONAL_SENSE) {
        if (entry.asc == asc && entry.ascq == ascq)
            return entry.meaning;
    }
    return nullptr;
}

StatusDescription DescribeStatus(uint32_t status, StatusSource source)
{
    StatusDescription description;
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08lx", static_cast<unsigned long>(status));
    description.hex = hex;
    description.asc = uint8_t(status >> 24);
    description.ascq = uint8_t(status >> 16);
    const bool senseShaped = (status & 0xFFF0u) == 0;
    // A vendor-USB status with a zero key nibble is the status block's ASC and ASCQ alone.
    const bool keyNotReported = source == StatusSource::VENDOR_USB && status != 0 && (status & 0xFFFFu) == 0;
    description.senseKey = !senseShaped || MadeByLayer(status) ? "none"
                           : keyNotReported                   ? "sense key not reported"
                                                              : SenseKeyName(status & 0x0F);

    if (status == 0) {
        description.meaning = "success";
    } else if (const char* layer = LayerMeaning(status)) {
        description.meaning = layer;
    } else if (!senseShaped) {
        description.meaning = "not a sense-derived status";
    } else if (const char* meaning = AdditionalSenseMeaning(description.asc, description.ascq)) {
        description.meaning = meaning;
    } else if (description.asc >= 0x80 || description.ascq >= 0x80) {
        description.meaning = "vendor-specific additional sense code";
    } else {
        char unknown[80];
        std::snprintf(unknown, sizeof unknown, "additional sense code 0x%02X/0x%02X (not in this tool's table)",
                      description.asc, description.ascq);
        description.meaning = unknown;
    }
    return description;
}

std::string StatusLine(uint32_t status, StatusSource source)
{
    const StatusDescription description = DescribeStatus(status, source);
    char codes[40];
    std::snprintf(codes, sizeof codes, " (ASC 0x%02X, ASCQ 0x%02X)", description.asc, description.ascq);
    return description.hex + " " + description.senseKey + ": " + description.meaning + codes;
}

Report StatusReport(uint32_t status, StatusSource source)
{
    const StatusDescription description = DescribeStatus(status, source);
    Report report = Report::Object();
    report.Add("status", Report::Hex(status));
    report.Add("statusText", Report::Text(description.hex));
    report.Add("senseKey", Report::Text(description.senseKey));
    report.Add("asc", Report::Hex(description.asc, 2));
    report.Add("ascq", Report::Hex(description.ascq, 2));
    report.Add("meaning", Report::Text(description.meaning));
    return report;
}
