// The ASPI transport's module state: the manager loaded at run time (with two fallback entry points
// while it is not), the VWIN32 device, the completion events, and the ten host-interface operations.
#include "host/aspi/aspi_io.h"

#include <cstdint>
#include <cstring>

#include "host/transport_records.h"
#include "platform/system_table.h"

namespace {

// In place of SendASPI32Command while the manager is not loaded.
DWORD ASPI_ENTRY FallbackSendASPI32Command(void* srb)
{
    if (srb != nullptr)
        static_cast<SRB_Header*>(srb)->SRB_Status = SS_FAILED_INIT;
    return 0xFFFFFFFFu;
}

// In place of GetASPI32SupportInfo: not initialised, no host adapters.
DWORD ASPI_ENTRY FallbackGetASPI32SupportInfo(void)
{
    return SS_FAILED_INIT << 8;
}

AspiIoState InitialState()
{
    AspiIoState state = {};
    state.sendCommand = FallbackSendASPI32Command;
    state.getSupportInfo = FallbackGetASPI32SupportInfo;
    return state;
}

// LoadLibraryA and GetProcAddress results that name nothing are null and -1; -1 is made null here.
HMODULE LoadModule(const char* name)
{
    HMODULE module = g_sys.LoadLibraryA(name);
    if (reinterpret_cast<uintptr_t>(module) != UINTPTR_MAX)
        return module;
    g_sys.SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

FARPROC LookUpEntry(HMODULE module, const char* name)
{
    FARPROC entry = g_sys.GetProcAddress(module, name);
    if (reinterpret_cast<uintptr_t>(entry) != UINTPTR_MAX)
        return entry;
    g_sys.SetLastError(ERROR_PROC_NOT_FOUND);
    return nullptr;
}

template <typename Function>
Function EntryAs(FARPROC entry)
{
    // Through the generic function type, which converts to every other without a warning.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)(void)>(entry));
}

void CloseEach(HANDLE AspiIoUnit::*member)
{
    HostIoCloseEach(g_aspiIo.units, ASPI_IO_MAX_UNITS, member);
}

// Frees the manager, closes VWIN32 and puts the fallbacks back; the last error is kept.
void Unload()
{
    DWORD error = g_sys.GetLastError();
    if (g_aspiIo.vwin32) {
        g_sys.CloseHandle(g_aspiIo.vwin32);
        g_aspiIo.vwin32 = nullptr;
    }
    if (g_aspiIo.module) {
        g_sys.FreeLibrary(g_aspiIo.module);
        g_aspiIo.module = nullptr;
    }
    g_aspiIo.sendCommand = FallbackSendASPI32Command;
    g_aspiIo.getSupportInfo = FallbackGetASPI32SupportInfo;
    g_sys.SetLastError(error);
}

bool LoadManager()
{
    g_aspiIo.module = LoadModule("WNASPI32.DLL");
    if (!g_aspiIo.module)
        return false;
    FARPROC send = LookUpEntry(g_aspiIo.module, "SendASPI32Command");
    if (!send)
        return false;
    FARPROC support = LookUpEntry(g_aspiIo.module, "GetASPI32SupportInfo");
    if (!support)
        return false;
    g_aspiIo.sendCommand = EntryAs<SendASPI32CommandFunction>(send);
    g_aspiIo.getSupportInfo = EntryAs<GetASPI32SupportInfoFunction>(support);
    return true;
}

bool OpenVwin32()
{
    HANDLE vwin32 = g_sys.CreateFileA("\\\\.\\VWIN32", 0, 0, nullptr, 0, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (vwin32 == INVALID_HANDLE_VALUE || vwin32 == nullptr)
        return false;
    g_aspiIo.vwin32 = vwin32;
    return true;
}

// One manual-reset event per record, in use or not.
bool CreateEvents()
{
    CloseEach(&AspiIoUnit::event);
    for (AspiIoUnit& unit : g_aspiIo.units) {
        unit.event = g_sys.CreateEventA(nullptr, TRUE, FALSE, nullptr);
        if (!unit.event) {
            DWORD error = g_sys.GetLastError();
            CloseEach(&AspiIoUnit::event);
            g_sys.SetLastError(error);
            return false;
        }
    }
    return true;
}

// The unit at `index`, or null with ERROR_FILE_NOT_FOUND.
AspiIoUnit* UnitAt(DWORD index)
{
    return HostIoRecordAt(g_aspiIo.units, g_aspiIo.count, index);
}

BOOL TermOperation(void)
{
    return AspiIoTerm();
}

BYTE* GetCdbAt(DWORD index)
{
    AspiIoUnit* unit = UnitAt(index);
    return unit ? unit->request.CDBByte : nullptr;
}

UnitStatus ExecuteAt(DWORD index, DWORD direction, DWORD cdbLength, void* data, DWORD length)
{
    AspiIoUnit* unit = UnitAt(index);
    if (!unit)
        return UNIT_STATUS_BAD_ARGUMENT;
    return AspiIoExecute(unit, static_cast<BYTE>(direction), static_cast<BYTE>(cdbLength), data, length);
}

// Neither a drive letter nor a discovery number is handed out by this transport.
BOOL NotSupportedAt(DWORD index, DWORD*)
{
    if (!UnitAt(index))
        return 0;
    g_sys.SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

template <BOOL (*Operation)(AspiIoUnit*)>
BOOL AtIndex(DWORD index)
{
    AspiIoUnit* unit = UnitAt(index);
    return unit ? Operation(unit) : 0;
}

const HostInterface s_aspiIoInterface = {
    TermOperation,  AspiIoEnumerate,  GetCdbAt,
    ExecuteAt,      NotSupportedAt,   NotSupportedAt,
    AtIndex<AspiIoLoadMedium>, AtIndex<AspiIoEjectMedium>, AtIndex<AspiIoLockVolume>,
    AtIndex<AspiIoUnlockVolume>,
};

}  // namespace

AspiIoState g_aspiIo = InitialState();

bool AspiIoManagerLoaded(void)
{
    return g_aspiIo.sendCommand != nullptr && g_aspiIo.sendCommand != FallbackSendASPI32Command;
}

BOOL AspiIoInit(void)
{
    if (AspiIoManagerLoaded())
        return 1;
    g_aspiIo.version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOA);
    if (!g_sys.GetVersionExA(&g_aspiIo.version))
        return 0;
    bool started = LoadManager();
    if (started && g_aspiIo.version.dwPlatformId == VER_PLATFORM_WIN32_NT) {
        // The manager of the NT family is not used: units there go through pass-through.
        g_sys.SetLastError(ERROR_NOT_SUPPORTED);
        started = false;
    }
    started = started && OpenVwin32() && CreateEvents();
    if (!started) {
        Unload();
        return 0;
    }
    return 1;
}

BOOL AspiIoTerm(void)
{
    // Mutexes go whatever else is held: an enumeration after a termination builds them anew.
    if (!g_aspiIo.module && !g_aspiIo.vwin32) {
        CloseEach(&AspiIoUnit::mutex);
        return 1;
    }
    AspiIoReleaseVolumeLocks();
    CloseEach(&AspiIoUnit::mutex);
    CloseEach(&AspiIoUnit::event);
    Unload();
    return 1;
}

const HostInterface* AspiIoInterface(void)
{
    return &s_aspiIoInterface;
}
