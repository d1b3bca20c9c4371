// Discovery through the pass-through transport on the emulated NT machine: which candidates are
// probed and in what order, de-duplication, the 32-unit bound, sorting, the filter and the mutexes.
#include <algorithm>

#include "host_scenario.h"

namespace {

using SptiDiscovery = HostTest;

unsigned CallsOf(const EmulatedMachine& machine, const char* call)
{
    const auto& log = const_cast<EmulatedMachine&>(machine).Faults().Log();
    return static_cast<unsigned>(std::count_if(log.begin(), log.end(), [&](const char* c) { return std::strcmp(c, call) == 0; }));
}

std::vector<DWORD> Numbers(DWORD count)
{
    std::vector<DWORD> numbers;
    for (DWORD i = 0; i < count; ++i) {
        DWORD number = 99;
        EXPECT_TRUE(HostIoGetDeviceNumber(i, &number));
        numbers.push_back(number);
    }
    return numbers;
}

TEST_F(SptiDiscovery, LettersInOrderThenVolumesThenSortedByAddress)
{
    NtSlot volume = NtSlot::VolumeOnly();
    machine.AttachUnit(Qzv(), volume.Address(0, 0, 3, 0));
    machine.AttachUnit(Qzv(), NtSlot::Letter('G').Address(0, 0, 1, 0));
    machine.AttachUnit(Qzv(), NtSlot::Letter('E').Address(0, 0, 5, 0));

    ASSERT_EQ(3u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    // Found as E (0), G (1), the volume (2); sorted by target: G, volume, E.
    EXPECT_EQ("G-E", Letters(3));
    EXPECT_EQ((std::vector<DWORD>{1, 2, 0}), Numbers(3));

    // Each unit keeps the mutex named after its discovery number: with Device1 held elsewhere, the
    // unit found second (G, now at index 0) is busy and the others are not.
    machine.StartProcess().TakeMutex("mutexSptiIo/QZV-5x/Device1");
    EXPECT_EQ(11u, TestUnitReady(0));
    EXPECT_EQ(0u, TestUnitReady(1));
    EXPECT_EQ(0u, TestUnitReady(2));
}

TEST_F(SptiDiscovery, DriveLettersAAndBAreNeverProbed)
{
    NtSlot a = NtSlot::Letter('A'), b = NtSlot::Letter('B');
    a.listedVolume = b.listedVolume = false;
    SimUnit& onA = machine.AttachUnit(Qzv(), a);
    SimUnit& onB = machine.AttachUnit(Qzv(), b);
    machine.AttachUnit(Qzv(), NtSlot::Letter('C'));
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("C", Letters(1));
    EXPECT_EQ(0u, machine.Disk(onA).Opens());
    EXPECT_EQ(0u, machine.Disk(onB).Opens());
}

TEST_F(SptiDiscovery, UnitReachableByLetterAndVolumeIsEnteredOnceUnderItsLetter)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    // The mount-point query answers in other letter case: still the same volume.
    NtSlot g = NtSlot::Letter('G');
    g.volumeName = "\\\\?\\Volume{0a1b2c3d-aaaa-bbbb-cccc-0123456789ab}\\";
    g.mountPointName = "\\\\?\\VOLUME{0A1B2C3D-AAAA-BBBB-CCCC-0123456789AB}\\";
    machine.AttachUnit(Qzv(), g);
    ASSERT_EQ(2u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("EG", Letters(2));
}

TEST_F(SptiDiscovery, UnitWhoseVolumeNameWasNotObtainedIsEnteredTwice)
{
    NtSlot f = NtSlot::Letter('F');
    f.mountPointKnown = false;
    SimUnit& unit = machine.AttachUnit(Qzv(), f);
    ASSERT_EQ(2u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    std::string letters = Letters(2);
    std::sort(letters.begin(), letters.end());
    EXPECT_EQ("-F", letters);
    EXPECT_EQ(4u, machine.Disk(unit).Opens());  // twice per probe: for INQUIRY, then for the address
}

TEST_F(SptiDiscovery, FixedDisksAreProbedOnlyThroughTheirVolumesAndFiltered)
{
    NtDisk& system = machine.Storage().AddForeignDisk(NtSlot::Letter('C', DRIVE_FIXED), "ATA     ", "Some Disk");
    machine.Storage().AddDriveLetter('D', DRIVE_CDROM);
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("E", Letters(1));
    EXPECT_EQ(1u, system.Opens());  // the volume scan's probe, closed again after the INQUIRY
    EXPECT_EQ(0u, system.OpenHandles());
    ASSERT_EQ(1u, system.PassThroughs().size());
    EXPECT_EQ(0x12, system.PassThroughs()[0].request.Cdb[0]);

    // Accepting everything, the fixed disk is entered through its volume, without a letter.
    ASSERT_EQ(2u, HostIoEnumerate(nullptr, "QZV-5x"));
    std::string letters = Letters(2);
    std::sort(letters.begin(), letters.end());
    EXPECT_EQ("-E", letters);
}

TEST_F(SptiDiscovery, FilterDecidesAndRejectedUnitsAreClosed)
{
    machine.AttachUnit(Qzv("QZV-57G", "1.20"), NtSlot::Letter('E').Address(0, 0, 1, 0));
    machine.AttachUnit(OtherVendor(), NtSlot::Letter('F').Address(0, 0, 2, 0));
    machine.AttachUnit(Qzv("QZV-57X"), NtSlot::Letter('G').Address(0, 0, 3, 0));
    machine.AttachUnit(Qzv("QZV-57H"), NtSlot::Letter('H').Address(0, 0, 4, 0));
    ASSERT_EQ(2u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("EH", Letters(2));
    EXPECT_EQ(32u, machine.OpenHandleCount());  // the mutex set, and no device left open
    ASSERT_EQ(4u, HostIoEnumerate(nullptr, "QZV-5x"));
    EXPECT_EQ("EFGH", Letters(4));
}

TEST_F(SptiDiscovery, NeverMoreThanThirtyTwoUnitsAndNoProbeBeyond)
{
    std::vector<SimUnit*> volumes;
    for (char letter = 'D'; letter <= 'W'; ++letter) {
        NtSlot slot = NtSlot::Letter(letter).Address(0, 0, static_cast<BYTE>(letter - 'D'), 0);
        slot.listedVolume = false;
        machine.AttachUnit(Qzv(), slot);
    }
    for (int i = 0; i < 20; ++i)
        volumes.push_back(&machine.AttachUnit(Qzv(), NtSlot::VolumeOnly().Address(1, 0, static_cast<BYTE>(i), 0)));
    ASSERT_EQ(32u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("DEFGHIJKLMNOPQRSTUVW------------", Letters(32));
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(i < 12 ? 2u : 0u, machine.Disk(*volumes[i]).Opens()) << "volume " << i;
    // The twelfth volume filled the table: no further volume name was fetched.
    EXPECT_EQ(11u, CallsOf(machine, "FindNextVolumeA"));
}

TEST_F(SptiDiscovery, LettersAloneCanFillTheTable)
{
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        NtSlot slot = NtSlot::Letter(letter);
        slot.listedVolume = false;
        machine.AttachUnit(Qzv(), slot);
    }
    for (int i = 0; i < 10; ++i)
        machine.AttachUnit(Qzv(), NtSlot::VolumeOnly());
    ASSERT_EQ(32u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    ASSERT_EQ(32u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(2u, CallsOf(machine, "FindFirstVolumeA"));
    EXPECT_EQ(14u, CallsOf(machine, "FindNextVolumeA"));  // 7 per scan: volumes 2 to 8
}

TEST_F(SptiDiscovery, SortedByAddressReadFirstThenPortPathTargetLun)
{
    NtSlot g = NtSlot::Letter('G');
    g.addressKnown = false;
    machine.AttachUnit(Qzv(), NtSlot::Letter('E').Address(1, 0, 2, 0));
    machine.AttachUnit(Qzv(), NtSlot::Letter('F').Address(0, 1, 0, 0));
    SimUnit& withoutAddress = machine.AttachUnit(Qzv(), g);
    SimUnit& lunOne = machine.AttachUnit(Qzv(), NtSlot::Letter('H').Address(0, 0, 3, 1));
    machine.AttachUnit(Qzv(), NtSlot::Letter('I').Address(0, 0, 3, 0));
    ASSERT_EQ(5u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("IHFEG", Letters(5));

    // Every probe asks with LUN 0 in its CDB, whatever unit the record held before: all five are
    // found again, in the same order.
    ASSERT_EQ(5u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("IHFEG", Letters(5));
    for (const SimUnit* unit : {&withoutAddress, &lunOne})
        for (const SimCommand& command : unit->Commands())
            EXPECT_EQ(0, command.cdb[1]);
}

TEST_F(SptiDiscovery, AddressNotReadSortsLastEvenWhenTheRecordHeldOneBefore)
{
    SimUnit& first = machine.AttachUnit(Qzv(), NtSlot::Letter('E').Address(0, 0, 9, 0));
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    // Now the unit found first (into the record that held E's address) has no readable address.
    machine.Unplug(first);
    NtSlot d = NtSlot::Letter('D');
    d.addressKnown = false;
    machine.AttachUnit(Qzv(), d);
    machine.AttachUnit(Qzv(), NtSlot::Letter('K').Address(0, 0, 10, 0));
    ASSERT_EQ(2u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ("KD", Letters(2));
}

TEST_F(SptiDiscovery, MutexSetIsOpenToEveryAccountAndReleasedByTerm)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    for (unsigned n : {0u, 17u, 31u}) {
        const EmulatedMutex* mutex = machine.Objects().FindMutex("mutexSptiIo/QZV-5x/Device" + std::to_string(n));
        ASSERT_NE(nullptr, mutex) << n;
        EXPECT_TRUE(mutex->openToEveryone) << n;
        EXPECT_EQ(0u, mutex->owner) << n;
    }
    EXPECT_EQ(nullptr, machine.Objects().FindMutex("mutexSptiIo/QZV-5x/Device32"));
    EXPECT_EQ(32u, machine.OpenHandleCount());
    EXPECT_EQ(0u, machine.OutstandingAllocations());
    EXPECT_TRUE(HostIoTerm());
    EXPECT_EQ(0u, machine.OpenHandleCount());
    EXPECT_EQ(nullptr, machine.Objects().FindMutex("mutexSptiIo/QZV-5x/Device0"));
    // The table stays installed: the units are gone, the index is out of range.
    EXPECT_EQ(5u, HostIoExecute(0, UnitNoData, 6, nullptr, 0));
}

TEST_F(SptiDiscovery, DeviceClassMustBeGivenAndFitTheMutexName)
{
    SimUnit& unit = machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, nullptr));
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, ""));
    // "mutexSptiIo/" + class + "/Device31" must stay below 260 characters.
    const std::string longest(259 - 12 - 9, 'x');
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, longest.c_str()));
    const std::string tooLong = longest + "x";
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, tooLong.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILENAME_EXCED_RANGE), g_sys.GetLastError());
    EXPECT_EQ(0u, machine.OpenHandleCount());
    EXPECT_EQ(2u, machine.Disk(unit).Opens());  // only the enumeration that could run probed
}

TEST_F(SptiDiscovery, MutexCreationFailureFindsNothingAndHoldsNothing)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    const char* calls[] = {"GlobalAlloc", "InitializeSecurityDescriptor", "SetSecurityDescriptorDacl", "CreateMutexA"};
    for (const char* call : calls) {
        machine.Faults().FailNthCall(5, 0, FaultRepeat::Once, call);
        EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x")) << call;
        EXPECT_EQ(0u, machine.OpenHandleCount()) << call;
        EXPECT_EQ(0u, machine.OutstandingAllocations()) << call;
    }
    machine.Faults().Clear();
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
}

TEST_F(SptiDiscovery, WithoutVolumeFunctionsOnlyLettersAreScanned)
{
    for (const char* entry : {"FindFirstVolumeA", "FindNextVolumeA", "FindVolumeClose", "GetVolumeNameForVolumeMountPointA"})
        machine.Modules().RemoveEntry("kernel32", entry);
    machine.Storage().AddForeignDisk(NtSlot::Letter('C', DRIVE_FIXED), "ATA     ", "Some Disk");
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    machine.AttachUnit(Qzv(), NtSlot::VolumeOnly());
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    // The module was loaded once; the missing entry points are looked up again at each call.
    EXPECT_EQ(1u, CallsOf(machine, "LoadLibraryA"));
    EXPECT_EQ(4u, CallsOf(machine, "GetProcAddress"));
}

TEST_F(SptiDiscovery, FailedModuleLoadIsNotRetried)
{
    machine.Modules().Remove("KERNEL32.DLL");
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    machine.AttachUnit(Qzv(), NtSlot::VolumeOnly());
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(1u, CallsOf(machine, "LoadLibraryA"));
    EXPECT_EQ(0u, CallsOf(machine, "GetProcAddress"));
}

TEST_F(SptiDiscovery, VolumeNamesShorterThanTheirFormAreSkipped)
{
    for (const char* name : {"\\\\", "\\\\?\\", "\\\\?\\V", "\\\\?\\Vol"}) {
        NtSlot slot = NtSlot::VolumeOnly();
        slot.volumeName = name;
        machine.Storage().AddForeignDisk(slot, "VORNA   ", "QZV-57H");
    }
    NtSlot shortest = NtSlot::VolumeOnly();
    shortest.volumeName = "\\\\?\\V\\";
    SimUnit& unit = machine.AttachUnit(Qzv(), shortest);
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(2u, machine.Disk(unit).Opens());
    EXPECT_EQ(2u, CallsOf(machine, "CreateFileA"));  // nothing was opened for the malformed names
}

TEST_F(SptiDiscovery, NothingIsScannedWhenTheVersionRecordIsNotNt)
{
    machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    machine.SetPlatformId(VER_PLATFORM_WIN32_WINDOWS);
    SptiIoInit();
    EXPECT_EQ(0u, SptiIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(0u, CallsOf(machine, "GetLogicalDrives"));
    machine.SetPlatformId(VER_PLATFORM_WIN32_NT);
    SptiIoInit();
    EXPECT_EQ(1u, SptiIoEnumerate(AcceptQzv, "QZV-5x"));
}

TEST_F(SptiDiscovery, BusyCandidateIsLeftOutWithNothingLeftOpen)
{
    SimUnit& unit = machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    ASSERT_TRUE(machine.StartProcess().TakeMutex("mutexSptiIo/QZV-5x/Device0"));
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    // Probed by letter and, not having been entered, again through its volume: 32 s each.
    EXPECT_EQ(64000u, machine.Clock().Now());
    EXPECT_EQ(0u, machine.Disk(unit).OpenHandles());
    EXPECT_EQ(32u, machine.OpenHandleCount());
}

TEST_F(SptiDiscovery, ShortInquiryIsNeverCompletedByAnEarlierUnitsBytes)
{
    SimUnit& first = machine.AttachUnit(Qzv(), NtSlot::Letter('E'));
    ASSERT_EQ(1u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    machine.Unplug(first);
    // The next candidate goes into the same record and answers only the first 5 bytes.
    SimUnit& terse = machine.AttachUnit(OtherVendor(), NtSlot::Letter('F'));
    terse.ShortenDataIn(1, 5);
    EXPECT_EQ(0u, HostIoEnumerate(AcceptQzv, "QZV-5x"));
    EXPECT_EQ(2u, terse.Commands().size());  // by letter, then through its volume
}

}  // namespace
