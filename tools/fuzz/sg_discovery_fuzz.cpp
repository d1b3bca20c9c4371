// libFuzzer target for the Linux discovery: the entries of /sys/class/scsi_generic and of a device's
// block folder, the opening of /dev/sgN and of the disk, the SCSI address and every answer to SG_IO
// come from the input, through the SCSI generic transport's device calls, on an emulated machine that
// reports Linux (its kernel objects stand in for the lock files). The unit layer then counts the units
// and runs commands, locks and unlocks on them as the input says.
//
// Checked on every run: every descriptor handed out is closed exactly once and used only while open;
// every request is well formed; each unit found is a listed device that answered its probe with the
// family's identity, found once, in address order; nothing is left open or owned at the end.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "host/sg/sg_device_names.h"
#include "host/sg/sg_units.h"
#include "sim/machine/emulated_machine.h"
#include "unit/unit_commands.h"
#include "unit/unit_table.h"
#include "tools/fuzz/fuzz_input.h"

namespace {

const char VENDOR[] = "VORNA   ";
const char* const PRODUCTS[] = {"QZV-57G         ", "QZV-57H         "};

// The world the device calls see during one run.
struct Devices {
    FuzzInput input;
    std::vector<unsigned> listed;
    std::map<int, unsigned> open;           // descriptor -> device number (block devices too)
    std::set<int> blockDescriptors;
    int next = 100;
    // Each device's answer to its last probe: the bytes it delivered, padded with zeros to 36, and
    // whether the request may count as success.
    std::map<unsigned, std::pair<std::vector<uint8_t>, bool>> probeAnswers;
};
Devices s_devices;

int Failure(uint8_t choice)
{
    static const int ERRORS[] = {ENOENT, EACCES, EBUSY, ENODEV, EIO, EINTR, ENOMEM, ENXIO};
    return -ERRORS[choice % 8];
}

std::string Name()
{
    FuzzInput& in = s_devices.input;
    switch (in.Take() % 4) {
    case 0: return "sg" + std::to_string(in.Take() % 40);
    case 1: return "sg" + std::to_string(uint32_t(in.Take()) << 24 | uint32_t(in.Take()) << 16 | in.Take());
    case 2: {
        std::string name;
        for (unsigned length = in.Take() % 12; length > 0; --length) {
            char c = static_cast<char>(in.Take());
            name += c == '/' || c == '\0' ? '.' : c;
        }
        return name;
    }
    default: return in.Take() & 1 ? "." : "..";
    }
}

int ListDevices(std::vector<unsigned>* numbers)
{
    numbers->clear();
    if (s_devices.input.Take() == 0xFF)
        return Failure(s_devices.input.Take());
    // A folder lists each name once.
    std::set<std::string> listed;
    for (unsigned count = s_devices.input.Take() % 10; count > 0; --count)
        listed.insert(Name());
    *numbers = SgDeviceNumbersFromNames(std::vector<std::string>(listed.begin(), listed.end()));
    s_devices.listed = *numbers;
    return 0;
}

int Hand(unsigned number)
{
    int fd = s_devices.next++;
    s_devices.open[fd] = number;
    return fd;
}

unsigned Device(int fd, const char* call)
{
    auto found = s_devices.open.find(fd);
    if (found == s_devices.open.end() || s_devices.blockDescriptors.count(fd))
        Violated("%s on descriptor %d, which is not an open device", call, fd);
    return found->second;
}

int Open(unsigned number)
{
    uint8_t choice = s_devices.input.Take();
    return choice % 8 == 7 ? Failure(choice >> 3) : Hand(number);
}

int GetScsiAddress(int fd, SgScsiAddress* address)
{
    Device(fd, "SG_GET_SCSI_ID");
    FuzzInput& in = s_devices.input;
    if (in.Take() & 1)
        return Failure(in.Take());
    address->host = static_cast<int8_t>(in.Take());
    address->channel = in.Take() % 4;
    address->id = static_cast<int8_t>(in.Take());
    address->lun = in.Take();
    return 0;
}

// The answer a unit of the family gives, so that runs get past the probe: INQUIRY data with the
// identity, a configuration value, or no data.
std::vector<uint8_t> UnitAnswer(const SgRequest& request, uint8_t choice)
{
    std::vector<uint8_t> data;
    if (request.cdb[0] == 0x12) {
        data.assign(36, ' ');
        data[0] = 0;
        std::memcpy(&data[8], VENDOR, 8);
        std::memcpy(&data[16], PRODUCTS[choice & 1], 16);
        std::memcpy(&data[32], choice & 2 ? "1.99" : "1.50", 4);
    } else if (request.cdb[0] == 0x13) {
        data = {0x00, choice, 0x00, 0x00};
    }
    return data;
}

// The probe of the discovery reads INQUIRY data into the unit record itself.
bool IsProbe(const SgRequest& request)
{
    for (const SgIoUnit& unit : g_sgUnits)
        if (request.data == unit.inquiry)
            return true;
    return false;
}

// One rule for every transport: a command succeeded only when the target completed it (GOOD,
// CONDITION MET or an INTERMEDIATE status), the host adapter and the driver report nothing but
// "sense follows", and the sense, if any, holds no key, ASC or ASCQ (fixed or descriptor format).
bool MayCountAsSuccess(const SgRequest& request)
{
    const BYTE status = request.scsiStatus;
    const bool completed = status == 0x00 || status == 0x04 || status == 0x10 || status == 0x14;
    const WORD driver = request.driverStatus & 0x0F;
    auto at = [&](size_t i) -> BYTE { return i < request.senseLength ? request.sense[i] : 0; };
    const bool descriptor = (at(0) & 0x7F) == 0x72 || (at(0) & 0x7F) == 0x73;
    const bool senseSays = descriptor ? (at(1) & 0x0F) || at(2) || at(3) : (at(2) & 0x0F) || at(12) || at(13);
    return completed && request.hostStatus == 0 && (driver == 0 || driver == 0x08) && !senseSays;
}

int Execute(int fd, SgRequest* request)
{
    const unsigned number = Device(fd, "SG_IO");
    if (request->cdb == nullptr || request->cdbLength < 1 || request->cdbLength > 16 ||
        (request->transfer != SgTransferNone && request->length != 0 && request->data == nullptr) ||
        (request->senseCapacity != 0 && request->sense == nullptr))
        Violated("a malformed request");
    FuzzInput& in = s_devices.input;
    const uint8_t choice = in.Take();
    std::vector<uint8_t> data = UnitAnswer(*request, choice >> 2);
    request->scsiStatus = 0;
    request->hostStatus = 0;
    request->driverStatus = 0;
    request->senseLength = 0;
    switch (choice & 3) {
    case 0: break;
    case 1:
        data.resize(in.Take() % 40);
        break;
    case 2: {
        request->scsiStatus = in.Take();
        request->hostStatus = in.Take() % 16;
        request->driverStatus = in.Take() % 16;
        unsigned senseLength = std::min<unsigned>(in.Take() % 40, request->senseCapacity);
        for (unsigned i = 0; i < senseLength; ++i)
            request->sense[i] = in.Take();
        request->senseLength = static_cast<BYTE>(senseLength);
        for (size_t i = 0; i < data.size(); ++i)
            data[i] ^= in.Take();
        break;
    }
    default: return Failure(in.Take());
    }
    const size_t delivered = request->transfer == SgTransferIn ? std::min<size_t>(data.size(), request->length) : 0;
    if (delivered)
        std::memcpy(request->data, data.data(), delivered);
    if (request->cdb[0] == 0x12 && IsProbe(*request)) {
        std::vector<uint8_t> answer(data.begin(), data.begin() + delivered);
        answer.resize(36, 0);
        s_devices.probeAnswers[number] = {answer, MayCountAsSuccess(*request)};
    }
    return 0;
}

int OpenBlockExclusive(unsigned number, int* fd)
{
    *fd = -1;
    FuzzInput& in = s_devices.input;
    switch (in.Take() % 4) {
    case 0: return 0;
    case 1: return -EBUSY;
    case 2: return Failure(in.Take());
    default: {
        std::vector<std::string> names;
        for (unsigned count = in.Take() % 4; count > 0; --count)
            names.push_back(Name());
        if (SgBlockDeviceFromNames(names).empty())
            return 0;
        *fd = Hand(number);
        s_devices.blockDescriptors.insert(*fd);
        return 0;
    }
    }
}

void Close(int fd)
{
    if (!s_devices.open.erase(fd))
        Violated("close of descriptor %d, which is not open", fd);
    s_devices.blockDescriptors.erase(fd);
}

const SgDeviceCalls FUZZ_CALLS = {ListDevices, Open, Execute, GetScsiAddress, OpenBlockExclusive, Close};

bool HasIdentity(const BYTE* inquiry)
{
    if (std::memcmp(&inquiry[8], VENDOR, 8) != 0)
        return false;
    for (const char* product : PRODUCTS)
        if (std::memcmp(&inquiry[16], product, 16) == 0)
            return true;
    return false;
}

bool AddressBefore(const SgIoUnit& a, const SgIoUnit& b)
{
    if (a.addressKnown != b.addressKnown)
        return a.addressKnown;
    const SgScsiAddress& x = a.address;
    const SgScsiAddress& y = b.address;
    return x.host != y.host ? x.host < y.host : x.channel != y.channel ? x.channel < y.channel
                                              : x.id != y.id           ? x.id < y.id
                                                                       : x.lun < y.lun;
}

// The units the transport holds after a count: listed devices that answered with the identity, each
// once, in address order.
void CheckUnits()
{
    std::set<unsigned> seen;
    for (DWORD i = 0; i < g_sgUnitCount; ++i) {
        const SgIoUnit& unit = g_sgUnits[i];
        if (std::find(s_devices.listed.begin(), s_devices.listed.end(), unit.deviceNumber) == s_devices.listed.end())
            Violated("unit %u is sg%u, which was not listed", unsigned(i), unit.deviceNumber);
        if (!seen.insert(unit.deviceNumber).second)
            Violated("sg%u found twice", unit.deviceNumber);
        // The probe's answer as the record keeps it: the bytes delivered, zeros after them.
        const auto& probe = s_devices.probeAnswers[unit.deviceNumber];
        if (std::vector<uint8_t>(unit.inquiry, unit.inquiry + 36) != probe.first)
            Violated("sg%u keeps INQUIRY data it was not sent", unit.deviceNumber);
        if (!probe.second)
            Violated("sg%u was taken although its INQUIRY did not succeed", unit.deviceNumber);
        if (!HasIdentity(unit.inquiry))
            Violated("sg%u was taken without answering with the identity", unit.deviceNumber);
        if (i > 0 && AddressBefore(unit, g_sgUnits[i - 1]))
            Violated("units out of address order");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    s_devices = Devices();
    s_devices.input = FuzzInput(data, size);
    FuzzInput& in = s_devices.input;
    EmulatedMachine machine(VER_PLATFORM_LINUX);
    SgDeviceCallsInstall(FUZZ_CALLS);

    DWORD count = UnitCount();
    CheckUnits();
    if (count > g_sgUnitCount)
        Violated("%u units counted, the transport holds %u", unsigned(count), unsigned(g_sgUnitCount));
    for (unsigned step = in.Take() % 12; step > 0; --step) {
        const uint8_t operation = in.Take();
        const DWORD unit = in.Take() % (count + 1);
        BYTE inquiry[36];
        DWORD value;
        switch (operation % 7) {
        case 0: UnitInquiry(unit, inquiry); break;
        case 1: UnitReadConfiguration(unit, &value); break;
        case 2: UnitLock(unit); break;
        case 3: UnitUnlock(unit); break;
        case 4: UnitLoadMedium(unit); break;
        case 5: UnitEjectMedium(unit); break;
        default:
            count = UnitCount();
            CheckUnits();
            break;
        }
        if (machine.MutexesHeld() != 0)
            Violated("a unit's mutex stayed owned after a command");
    }
    UnitLayerClose();
    if (!s_devices.open.empty())
        Violated("%zu descriptors left open", s_devices.open.size());
    if (machine.OpenHandleCount() != 0)
        Violated("%zu handles left open", machine.OpenHandleCount());
    SgDeviceCallsReset();
    return 0;
}
