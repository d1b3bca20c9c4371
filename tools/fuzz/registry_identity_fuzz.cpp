// libFuzzer target for the 9x registry discovery: the devnodes of the configuration manager and the
// hardware keys they lead to, with every value (target id, LUN, identity, drive letter) present or
// not, of any type and any bytes, come from the input, in the registry of an emulated machine. The drive
// letter found for a unit must be the one the documented walk gives, worked out here on its own, and
// every key the walk opened must be closed again (but one whose close failed).
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "host/aspi/aspi_io.h"
#include "sim/machine/emulated_machine.h"
#include "unit/unit_table.h"
#include "tools/fuzz/fuzz_input.h"

namespace {

const size_t VALUE_ROOM = 256;  // the walk reads names and values into 256 bytes
const char DEVNODES[] = "Config Manager\\Enum";
const char* const VALUE_NAMES[] = {"SCSITargetID", "SCSILUN", "Manufacturer", "ProductId", "RevisionLevel",
                                   "CurrentDriveLetterAssignment"};
enum { TARGET_ID, LUN, MANUFACTURER, PRODUCT_ID, REVISION_LEVEL, DRIVE_LETTER, VALUE_COUNT };

std::vector<uint8_t> Text(const std::string& text)
{
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

// A value from the input: absent, the text a unit of the family has, a text of any bytes (lengths
// around the room the walk offers are likely), or data of another type.
void PutValue(FuzzInput& in, RegistryKey& key, const char* name, const std::string& usual)
{
    const uint8_t mode = in.Take();
    size_t length = in.Take();
    if (length >= 250)
        length = 250 + in.Take() % 12;
    switch (mode % 4) {
    case 0: break;
    case 1: key.SetValue(name, REG_SZ, Text(usual)); break;
    case 2: key.SetValue(name, REG_SZ, in.Take(length)); break;
    default: key.SetValue(name, mode & 4 ? REG_BINARY : REG_DWORD, in.Take(length)); break;
    }
}

std::string UsualValue(int value, const AspiIoUnit& unit, uint8_t choice)
{
    switch (value) {
    case TARGET_ID: return std::to_string(unit.target);
    case LUN: return std::to_string(unit.lun);
    case MANUFACTURER: return "VORNA";
    case PRODUCT_ID: return choice & 1 ? "QZV-57H" : "QZV-57G";
    case REVISION_LEVEL: return "1.99";
    default: return std::string(1, char('C' + choice % 24));
    }
}

// A REG_SZ value as the walk reads it: false when missing, of another type, or too long for the room.
bool ReadText(const RegistryKey& key, const char* name, std::string* text)
{
    const RegistryValue* value = key.Value(name);
    if (!value || value->type != REG_SZ || value->data.size() > VALUE_ROOM)
        return false;
    const std::string bytes(value->data.begin(), value->data.end());
    *text = bytes.substr(0, bytes.find('\0'));
    return true;
}

// What strtoul of a 32-bit C library makes of the text, and whether it used all of it.
bool WholeDecimal(const std::string& text, DWORD* value)
{
    char* end = nullptr;
    const unsigned long long converted = std::strtoull(text.c_str(), &end, 10);
    const char* digits = text.c_str() + std::strspn(text.c_str(), " \t\n\v\f\r");
    if (*digits == '+' || *digits == '-')
        ++digits;
    errno = 0;
    const unsigned long long magnitude = std::strtoull(digits, nullptr, 10);
    const bool overflow = errno == ERANGE || magnitude > 0xFFFFFFFFull;
    *value = overflow ? 0xFFFFFFFFu : static_cast<DWORD>(converted);
    return *end == '\0';
}

// An identification field: the text's bytes, cut to the field, blank-padded.
std::string Field(const std::string& text, size_t size)
{
    std::string field = text.substr(0, size);
    field.resize(size, ' ');
    return field;
}

LONG ExpectedLetterOfHardwareKey(const RegistryKey& key, const AspiIoUnit& unit)
{
    std::string text[VALUE_COUNT];
    DWORD number = 0;
    if (!ReadText(key, VALUE_NAMES[TARGET_ID], &text[TARGET_ID]) || !WholeDecimal(text[TARGET_ID], &number) ||
        number != unit.target)
        return 0;
    if (!ReadText(key, VALUE_NAMES[LUN], &text[LUN]) || !WholeDecimal(text[LUN], &number) ||
        static_cast<signed char>(number & 0xFF) != static_cast<int>(unit.lun))
        return 0;
    for (int value = MANUFACTURER; value <= DRIVE_LETTER; ++value)
        if (!ReadText(key, VALUE_NAMES[value], &text[value]))
            return 0;
    const std::string product = Field(text[PRODUCT_ID], 16);
    if (Field(text[MANUFACTURER], 8) != "VORNA   " || (product != "QZV-57G         " && product != "QZV-57H         "))
        return 0;
    return static_cast<signed char>(text[DRIVE_LETTER].empty() ? 0 : text[DRIVE_LETTER][0]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzInput in(data, size);
    // A machine without the 9x system's own devnodes: the registry holds the input's alone.
    EmulatedMachine machine;
    EmulatedRegistry& registry = machine.Registry();

    AspiIoUnit unit = {};
    unit.target = in.Take() % 16;
    unit.lun = in.Take();
    for (unsigned k = 0, keys = in.Take() % 4; k < keys; ++k) {
        RegistryKey& key = registry.Key(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\DISK\\" + std::to_string(k));
        const uint8_t choice = in.Take();
        for (int value = 0; value < VALUE_COUNT; ++value)
            PutValue(in, key, VALUE_NAMES[value], UsualValue(value, unit, choice));
    }
    struct DevNode {
        std::string name;
        bool closeFails;
    };
    std::vector<DevNode> devNodes;
    const uint8_t layout = in.Take();
    if (layout & 1)
        registry.Key(HKEY_DYN_DATA, DEVNODES);
    for (unsigned n = 0, count = layout % 7; n < count && (layout & 1); ++n) {
        const uint8_t choice = in.Take();
        std::string name = "devnode" + std::to_string(n);
        if (choice % 8 == 7)
            name += std::string(VALUE_ROOM - 10 + in.Take() % 20, 'x');
        RegistryKey& key = registry.Key(HKEY_DYN_DATA, std::string(DEVNODES) + "\\" + name);
        PutValue(in, key, "HardWareKey", "SCSI\\DISK\\" + std::to_string(in.Take() % 5));
        devNodes.push_back({name, (choice & 8) != 0});
        if (devNodes.back().closeFails)
            key.FailClose(ERROR_INVALID_HANDLE);
    }

    // The walk as documented: devnodes in order, until a name does not fit, a close fails or a
    // hardware key matches.
    LONG expected = 0;
    size_t keysLeftOpen = 0;
    for (const DevNode& devNode : devNodes) {
        if (devNode.name.size() + 1 > VALUE_ROOM)
            break;
        std::shared_ptr<RegistryKey> key = registry.FindKey(HKEY_DYN_DATA, std::string(DEVNODES) + "\\" + devNode.name);
        std::string path;
        if (ReadText(*key, "HardWareKey", &path)) {
            std::shared_ptr<RegistryKey> hardware = registry.FindKey(HKEY_LOCAL_MACHINE, "Enum\\" + path);
            expected = hardware ? ExpectedLetterOfHardwareKey(*hardware, unit) : 0;
        } else {
            expected = 0;
        }
        if (devNode.closeFails)
            ++keysLeftOpen;
        if (devNode.closeFails || expected != 0)
            break;
    }

    const LONG letter = AspiIoFindDriveLetter(UnitIdentityFilter, &unit);
    if (letter != expected)
        Violated("drive letter %ld, expected %ld", long(letter), long(expected));
    if (registry.OpenKeys() != keysLeftOpen)
        Violated("%zu keys left open, expected %zu", registry.OpenKeys(), keysLeftOpen);
    return 0;
}
