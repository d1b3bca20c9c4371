// The process-wide unit table: opening and closing the layer, counting and building the table, the
// identity filter and the per-unit dispatch.
#include "unit/unit_table.h"

#include <cstring>

#include "image/download.h"
#include "platform/byte_order.h"
#include "unit/unit_command_runner.h"
#include "unit/unit_commands.h"
#include "unit/unit_transports.h"
#include "unit/usb/zeku_io.h"

namespace {

UnitTable s_table;
bool s_layerOpen = false;
DWORD s_layerOpenResult = 0;

const char UNIT_VENDOR[] = "VORNA   ";

// The per-unit operations of one transport, as the entries of its units take them.
struct TransportBinding {
    UnitCdbOperation getCdb;
    UnitExecuteOperation execute;
    UnitQueryOperation getDriveLetter, getDeviceNumber;
    UnitMediumOperation loadMedium, ejectMedium, lock, unlock;
};

const TransportBinding HOST_BINDING = {
    HostIoGetCdb,     HostIoExecute,     HostIoGetDriveLetter, HostIoGetDeviceNumber,
    HostIoLoadMedium, HostIoEjectMedium, HostIoLock,           HostIoUnlock,
};

const TransportBinding USB_BINDING = {
    ZekuIoGetCdb,     ZekuIoExecute,     ZekuIoGetDriveLetter, ZekuIoGetDeviceNumber,
    ZekuIoLoadMedium, ZekuIoEjectMedium, ZekuIoLock,           ZekuIoUnlock,
};

UnitDownloadProcedure DownloadProcedureFor(DWORD revision)
{
    return revision < UNIT_REVISION_NEW_GENERATION ? ImageDownloadOld : ImageDownloadNew;
}

// Fills entry `index` for unit `transportIndex` of a transport: operations, cached configuration,
// revision and download procedure. False when its INQUIRY fails.
bool BuildEntry(DWORD index, DWORD transportIndex, const TransportBinding& binding)
{
    UnitEntry& entry = s_table.entries[index];
    entry.transportIndex = transportIndex;
    entry.getCdb = binding.getCdb;
    entry.execute = binding.execute;
    entry.getDriveLetter = binding.getDriveLetter;
    entry.getDeviceNumber = binding.getDeviceNumber;
    entry.loadMedium = binding.loadMedium;
    entry.ejectMedium = binding.ejectMedium;
    entry.lock = binding.lock;
    entry.unlock = binding.unlock;

    // A unit that does not answer the configuration command keeps a configuration of 0.
    UnitConfigurationCommand(index, &entry.configuration);

    BYTE inquiry[UNIT_INQUIRY_LENGTH] = {};
    if (UnitInquiry(index, inquiry) != 0)
        return false;
    entry.firmwareRevision = UnitRevisionFromInquiry(inquiry);
    // Vendor-USB units take the same procedures: they use only getCdb, execute and transportIndex.
    entry.download = DownloadProcedureFor(entry.firmwareRevision);
    return true;
}

// The entry's operation on its transport index, or 5 for an index out of range.
template <typename... Arguments>
DWORD RunOnEntry(DWORD unit, BOOL (*UnitEntry::*operation)(DWORD, Arguments...), Arguments... arguments)
{
    const UnitEntry* entry = UnitEntryAt(unit);
    return entry ? (entry->*operation)(entry->transportIndex, arguments...) : UNIT_STATUS_BAD_ARGUMENT;
}

}  // namespace

const char* const UnitProductList[] = {"QZV-57G         ", "QZV-57H         ", nullptr};

const UnitTable& UnitGetTable(void)
{
    return s_table;
}

UnitEntry* UnitEntryAt(DWORD unit)
{
    return unit < s_table.unitCount ? &s_table.entries[unit] : nullptr;
}

int UnitIdentityFilter(const BYTE* inquiry)
{
    if (std::memcmp(inquiry + 8, UNIT_VENDOR, 8) != 0)
        return 0;
    for (const char* const* product = UnitProductList; *product; ++product) {
        if (std::memcmp(inquiry + 16, *product, 16) == 0)
            return 1;
    }
    return 0;
}

DWORD UnitRevisionFromInquiry(const BYTE* inquiry)
{
    return ReadBigEndian32(inquiry + 32);
}

DWORD UnitLayerOpen(void)
{
    if (s_layerOpen)
        return s_layerOpenResult;
    s_layerOpenResult = 0;
    if (UnitHostOpen()) {
        if (UnitUsbOpen())
            s_layerOpenResult = 1;
        else
            UnitHostClose();  // the host interface is not left open alone
    }
    s_layerOpen = true;
    return s_layerOpenResult;
}

DWORD UnitLayerClose(void)
{
    const DWORD usbClosed = UnitUsbClose();
    const DWORD hostClosed = UnitHostClose();
    s_layerOpen = false;
    s_layerOpenResult = 0;
    return usbClosed && hostClosed ? 1 : 0;
}

DWORD UnitCount(void)
{
    if (!s_layerOpen && !UnitLayerOpen())
        return 0;
    DWORD hostCount = UnitHostCount();
    if (hostCount > UNIT_MAX - 1)
        hostCount = UNIT_MAX;
    DWORD usbCount = UnitUsbCount();
    if (hostCount + usbCount > UNIT_MAX)
        usbCount = UNIT_MAX - hostCount;
    s_table.hostCount = hostCount;
    s_table.usbCount = usbCount;
    s_table.unitCount = hostCount + usbCount;
    if (!UnitBuildTable()) {
        s_table.hostCount = 0;
        s_table.usbCount = 0;
        s_table.unitCount = 0;
        return 0;
    }
    return s_table.unitCount;
}

DWORD UnitBuildTable(void)
{
    std::memset(s_table.entries, 0, sizeof s_table.entries);
    for (DWORD i = 0; i < s_table.hostCount; ++i) {
        if (!BuildEntry(i, i, HOST_BINDING))
            return 0;
    }
    for (DWORD i = s_table.hostCount; i < s_table.unitCount; ++i) {
        if (!BuildEntry(i, i - s_table.hostCount, USB_BINDING))
            return 0;
    }
    return 1;
}

DWORD UnitGetDriveLetter(DWORD unit, DWORD* letter)
{
    return RunOnEntry(unit, &UnitEntry::getDriveLetter, letter);
}

DWORD UnitGetDeviceNumber(DWORD unit, DWORD* number)
{
    return RunOnEntry(unit, &UnitEntry::getDeviceNumber, number);
}

DWORD UnitLoadMedium(DWORD unit)
{
    return RunOnEntry(unit, &UnitEntry::loadMedium);
}

DWORD UnitEjectMedium(DWORD unit)
{
    return RunOnEntry(unit, &UnitEntry::ejectMedium);
}

DWORD UnitLock(DWORD unit)
{
    return RunOnEntry(unit, &UnitEntry::lock);
}

DWORD UnitUnlock(DWORD unit)
{
    return RunOnEntry(unit, &UnitEntry::unlock);
}

UnitStatus UnitDownloadFirmware(DWORD unit, DWORD length, BYTE* image)
{
    UnitEntry* entry = UnitEntryAt(unit);
    if (!entry || !entry->download)
        return UNIT_STATUS_BAD_ARGUMENT;
    return entry->download(entry, length, image);
}
