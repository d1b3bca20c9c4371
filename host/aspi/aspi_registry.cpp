// The drive letter of an ASPI unit from the 9x configuration manager's registry: the devnodes it
// holds now (HKEY_DYN_DATA\Config Manager\Enum), each followed to its hardware key
// (HKEY_LOCAL_MACHINE\Enum\...), whose SCSI target id, LUN and identity must match the unit.
#include <cstdio>
#include <cstring>

#include "host/aspi/aspi_io.h"
#include "platform/system_table.h"

namespace {

const DWORD NAME_LENGTH = 256;   // subkey names, as the registry is asked for them
const DWORD VALUE_LENGTH = 256;  // value texts, as the registry is asked for them

// A value text. One byte more than the registry is offered stays 0, so that the text ends within
// the buffer whatever the value holds (a text of 256 bytes without terminator, binary data).
struct ValueText {
    char text[VALUE_LENGTH + 1];
};

// Reads a REG_SZ value; false for a missing value, one of another type, or one too long for the
// buffer. The buffer is cleared first, so no byte of an earlier value is ever taken for this one.
bool ReadText(HKEY key, const char* name, ValueText* value)
{
    std::memset(value->text, 0, sizeof value->text);
    DWORD type = REG_NONE;
    DWORD length = VALUE_LENGTH;
    LONG result = g_sys.RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value->text), &length);
    value->text[VALUE_LENGTH] = '\0';
    return result == ERROR_SUCCESS && type == REG_SZ;
}

// An identification field: the text's bytes up to its end, blank-padded like the INQUIRY fields.
void CopyField(BYTE* field, size_t size, const ValueText& value)
{
    size_t length = strnlen(value.text, size);
    std::memcpy(field, value.text, length);
    std::memset(field + length, ' ', size - length);
}

bool IsSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

}  // namespace

bool AspiIoWholeDecimal(const char* text, DWORD* value)
{
    const char* p = text;
    while (IsSpace(*p))
        ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    if (!IsDigit(*p)) {
        // No conversion: the end is the start of the text, which is all used only when empty.
        *value = 0;
        return *text == '\0';
    }
    unsigned long long magnitude = 0;
    for (; IsDigit(*p); ++p) {
        magnitude = magnitude * 10 + static_cast<unsigned>(*p - '0');
        if (magnitude > 0xFFFFFFFFull)
            magnitude = 0x100000000ull;  // out of range, and stays so
    }
    if (magnitude > 0xFFFFFFFFull)
        *value = 0xFFFFFFFFu;
    else
        *value = negative ? 0u - static_cast<DWORD>(magnitude) : static_cast<DWORD>(magnitude);
    return *p == '\0';
}

LONG AspiIoMatchHardwareKey(HostIoFilter filter, const AspiIoUnit* unit, HKEY hardwareKey)
{
    ValueText value;
    DWORD number = 0;
    if (!ReadText(hardwareKey, "SCSITargetID", &value) || !AspiIoWholeDecimal(value.text, &number) ||
        number != unit->target)
        return 0;
    if (!ReadText(hardwareKey, "SCSILUN", &value) || !AspiIoWholeDecimal(value.text, &number) ||
        static_cast<signed char>(number & 0xFF) != static_cast<int>(unit->lun))
        return 0;

    // Laid out like INQUIRY data, so that the unit's own filter judges it.
    BYTE identity[36] = {};
    if (!ReadText(hardwareKey, "Manufacturer", &value))
        return 0;
    CopyField(identity + 8, 8, value);
    if (!ReadText(hardwareKey, "ProductId", &value))
        return 0;
    CopyField(identity + 16, 16, value);
    if (!ReadText(hardwareKey, "RevisionLevel", &value))
        return 0;
    CopyField(identity + 32, 4, value);
    if (!(filter ? filter : HostIoAcceptAll)(identity))
        return 0;

    if (!ReadText(hardwareKey, "CurrentDriveLetterAssignment", &value))
        return 0;
    return static_cast<signed char>(value.text[0]);
}

LONG AspiIoMatchDevNode(HostIoFilter filter, const AspiIoUnit* unit, HKEY devNode)
{
    ValueText value;
    if (!ReadText(devNode, "HardWareKey", &value))
        return 0;
    char path[sizeof "Enum\\" + VALUE_LENGTH];
    std::snprintf(path, sizeof path, "Enum\\%s", value.text);
    HKEY hardwareKey = nullptr;
    if (g_sys.RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &hardwareKey) != ERROR_SUCCESS)
        return 0;
    LONG letter = AspiIoMatchHardwareKey(filter, unit, hardwareKey);
    g_sys.RegCloseKey(hardwareKey);
    return letter;
}

LONG AspiIoFindDriveLetter(HostIoFilter filter, const AspiIoUnit* unit)
{
    HKEY devNodes = nullptr;
    if (g_sys.RegOpenKeyExA(HKEY_DYN_DATA, "Config Manager\\Enum", 0, KEY_READ, &devNodes) != ERROR_SUCCESS)
        return 0;
    LONG letter = 0;
    for (DWORD index = 0;; ++index) {
        char name[NAME_LENGTH + 1] = {};
        DWORD length = NAME_LENGTH;
        if (g_sys.RegEnumKeyExA(devNodes, index, name, &length, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        name[NAME_LENGTH] = '\0';
        char path[sizeof "Config Manager\\Enum\\" + NAME_LENGTH];
        std::snprintf(path, sizeof path, "Config Manager\\Enum\\%s", name);
        HKEY devNode = nullptr;
        if (g_sys.RegOpenKeyExA(HKEY_DYN_DATA, path, 0, KEY_READ, &devNode) != ERROR_SUCCESS)
            continue;
        letter = AspiIoMatchDevNode(filter, unit, devNode);
        if (g_sys.RegCloseKey(devNode) != ERROR_SUCCESS || letter != 0)
            break;
    }
    g_sys.RegCloseKey(devNodes);
    return letter;
}
