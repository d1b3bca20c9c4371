// Drive letters from the configuration manager's registry: the devnode walk, the matching rules for
// target id, LUN and identity, and values of any type and length.
#include <string>
#include <vector>

#include "aspi_scenario.h"

namespace {

TEST(AspiWholeDecimal, ReadsAsStrtoulAndWantsTheWholeText)
{
    const struct {
        const char* text;
        bool whole;
        DWORD value;
    } cases[] = {
        {"5", true, 5},        {"", true, 0},          {" \t5", true, 5},         {"+5", true, 5},
        {"5 ", false, 5},      {"5x", false, 5},       {" ", false, 0},           {"+", false, 0},
        {"-1", true, 0xFFFFFFFFu},                     {"-256", true, 0xFFFFFF00u},
        {"4294967295", true, 0xFFFFFFFFu},             {"4294967296", true, 0xFFFFFFFFu},
        {"-99999999999999999999", true, 0xFFFFFFFFu},  {"0x10", false, 0},
        {"00000000000000000000000000000004", true, 4},
    };
    for (const auto& c : cases) {
        DWORD value = 1234;
        EXPECT_EQ(c.whole, AspiIoWholeDecimal(c.text, &value)) << '"' << c.text << '"';
        EXPECT_EQ(c.value, value) << '"' << c.text << '"';
    }
}

class AspiRegistry : public AspiTest {
protected:
    // A hardware key with the family's identity at target 4, LUN 0, and its devnode.
    RegistryKey& AddDevice(const std::string& devNode, const std::string& path, const char* letter = nullptr)
    {
        machine.Win9x().AddDevNode(devNode, path);
        RegistryKey& key = machine.Win9x().HardwareKey(path);
        key.SetString("SCSITargetID", "4").SetString("SCSILUN", "0");
        key.SetString("Manufacturer", "VORNA").SetString("ProductId", "QZV-57H").SetString("RevisionLevel", "1.99");
        if (letter)
            key.SetString("CurrentDriveLetterAssignment", letter);
        return key;
    }

    LONG LetterFor(BYTE target, BYTE lun, HostIoFilter filter = AcceptQzv)
    {
        AspiIoUnit unit = {};
        unit.target = target;
        unit.lun = lun;
        unit.adapter = 9;  // never compared
        return AspiIoFindDriveLetter(filter, &unit);
    }

    static std::vector<BYTE> Bytes(const std::string& text) { return std::vector<BYTE>(text.begin(), text.end()); }
};

TEST_F(AspiRegistry, UnitsOnDifferentAdaptersShareTheFirstMatchingLetter)
{
    machine.AttachAspiUnit(Qzv(), 0, 4, 0, 'G');
    machine.AttachAspiUnit(Qzv(), 1, 4, 0, 'H');
    ASSERT_EQ(2u, Enumerate());
    EXPECT_EQ('G', g_aspiIo.units[0].driveLetter);
    EXPECT_EQ('G', g_aspiIo.units[1].driveLetter);
    EXPECT_EQ(0u, machine.Registry().OpenKeys());
}

TEST_F(AspiRegistry, TargetAndLunTextsFollowTheWholeTextRule)
{
    RegistryKey& key = AddDevice("00000001", "SCSI\\ONE\\0", "E");
    EXPECT_EQ('E', LetterFor(4, 0));
    key.SetString("SCSITargetID", "4 ");
    EXPECT_EQ(0, LetterFor(4, 0)) << "conversion stops before the end";
    key.SetString("SCSITargetID", "");
    EXPECT_EQ('E', LetterFor(0, 0)) << "an empty text is target 0";
    key.SetString("SCSITargetID", " +0004");
    EXPECT_EQ('E', LetterFor(4, 0));
    key.SetString("SCSILUN", "259");
    EXPECT_EQ('E', LetterFor(4, 3)) << "the LUN's low 8 bits count";
    key.SetString("SCSILUN", "4294967299");
    EXPECT_EQ(0, LetterFor(4, 3)) << "out of range is 0xFFFFFFFF on every build";
    key.SetString("SCSILUN", "-253");
    EXPECT_EQ('E', LetterFor(4, 3));
    EXPECT_EQ(0u, machine.Registry().OpenKeys());
}

TEST_F(AspiRegistry, OnlyTheFirstLetterAndMatchesWithoutOneContinueTheWalk)
{
    AddDevice("00000001", "SCSI\\NOLETTER\\0");
    RegistryKey& empty = AddDevice("00000002", "SCSI\\EMPTY\\0", "");
    AddDevice("00000003", "SCSI\\SEVERAL\\0", "KLM");
    AddDevice("00000004", "SCSI\\LATER\\0", "Z");
    EXPECT_EQ('K', LetterFor(4, 0));
    // A letter with its top bit set comes back sign-extended.
    empty.SetString("CurrentDriveLetterAssignment", "\xC4");
    EXPECT_EQ(-60, LetterFor(4, 0));
}

TEST_F(AspiRegistry, ValuesOfOtherTypesOrSizesNeverMatch)
{
    RegistryKey& key = AddDevice("00000001", "SCSI\\ONE\\0", "E");
    key.SetValue("SCSITargetID", REG_BINARY, Bytes(std::string("4\0", 2)));
    EXPECT_EQ(0, LetterFor(4, 0));
    key.SetValue("SCSITargetID", REG_SZ, Bytes(std::string(257, '4')));
    EXPECT_EQ(0, LetterFor(4, 0)) << "longer than the buffer";
    // Exactly the buffer's size without a terminator: read within it, and taken as it is.
    key.SetValue("SCSITargetID", REG_SZ, Bytes(std::string(255, '0') + "4"));
    EXPECT_EQ('E', LetterFor(4, 0));
    key.SetString("SCSITargetID", "4");
    key.SetValue("CurrentDriveLetterAssignment", REG_EXPAND_SZ, Bytes("E"));
    EXPECT_EQ(0, LetterFor(4, 0));
    key.SetString("CurrentDriveLetterAssignment", "E");
    machine.Registry().FindKey(HKEY_DYN_DATA, "Config Manager\\Enum\\00000001")->SetValue("HardWareKey", REG_BINARY,
                                                                                          Bytes("SCSI\\ONE\\0"));
    EXPECT_EQ(0, LetterFor(4, 0));
    EXPECT_EQ(0u, machine.Registry().OpenKeys());
}

// Keeps the identity block the registry walk offers.
BYTE s_offered[36];
int RecordingFilter(const BYTE* identity)
{
    std::memcpy(s_offered, identity, sizeof s_offered);
    return AcceptQzv(identity);
}

TEST_F(AspiRegistry, ShortIdentityFieldsAreBlankPaddedWithNothingOfEarlierValues)
{
    RegistryKey& key = AddDevice("00000001", "SCSI\\ONE\\0", "E");
    key.SetValue("RevisionLevel", REG_SZ, Bytes("2"));  // stored without its terminator
    EXPECT_EQ('E', LetterFor(4, 0, RecordingFilter));
    const BYTE zeros[8] = {};
    EXPECT_EQ(0, std::memcmp(zeros, s_offered, 8));
    EXPECT_EQ(0, std::memcmp("VORNA   QZV-57H         2   ", s_offered + 8, 28));
    key.SetString("ProductId", "QZV-57X");
    EXPECT_EQ(0, LetterFor(4, 0, RecordingFilter)) << "the filter judges the identity";
    key.SetString("ProductId", "QZV-57H");
    key.RemoveValue("Manufacturer");
    EXPECT_EQ(0, LetterFor(4, 0, RecordingFilter));
}

TEST_F(AspiRegistry, WalkSkipsWhatCannotBeOpenedAndStopsWhenAClosingFails)
{
    AddDevice("00000001", "SCSI\\GONE\\0", "E");
    machine.Registry().FindKey(HKEY_LOCAL_MACHINE, "Enum\\SCSI\\GONE")->RemoveSubkey("0");
    AddDevice("00000002", "SCSI\\TWO\\0", "F");
    EXPECT_EQ('F', LetterFor(4, 0));

    // The devnode key of the first device cannot be closed: the walk ends there, without a letter.
    machine.Registry().FindKey(HKEY_DYN_DATA, "Config Manager\\Enum\\00000001")->FailClose(ERROR_INVALID_HANDLE);
    EXPECT_EQ(0, LetterFor(4, 0));
    EXPECT_EQ(1u, machine.Registry().OpenKeys()) << "the key that would not close";

    // Opening the devnode of the second device fails: the walk goes on to the third. Opens so far:
    // the devnode list, then a devnode and its hardware key for each of the system's three.
    AddDevice("00000003", "SCSI\\THREE\\0", "G");
    machine.Registry().FindKey(HKEY_DYN_DATA, "Config Manager\\Enum")->RemoveSubkey("00000001");
    machine.Faults().FailNthCall(8, ERROR_ACCESS_DENIED, FaultRepeat::Once, "RegOpenKeyExA");
    EXPECT_EQ('G', LetterFor(4, 0));
    EXPECT_EQ(1u, machine.Faults().Injected());

    machine.Registry().Key(HKEY_DYN_DATA, "Config Manager").RemoveSubkey("Enum");
    EXPECT_EQ(0, LetterFor(4, 0));
}

}  // namespace
