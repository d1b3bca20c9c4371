// The ASPI transport of the Windows 9x family. Units are reached through the ASPI manager
// (WNASPI32.DLL, loaded at run time): every host adapter is asked for every target and LUN with an
// INQUIRY, and each command runs as an SC_EXEC_SCSI_CMD request whose completion is awaited through
// an event. Medium requests (eject, lock, unlock) go through the VWIN32 device by drive letter; the
// letter comes from the configuration manager's registry (AspiIoFindDriveLetter). Each unit record
// has a named mutex, so that processes enumerating with the same device class serialise their
// commands to one unit.
#pragma once

#include "host/host_io.h"
#include "platform/aspi_requests.h"
#include "platform/vwin32_registers.h"
#include "platform/win32_registry.h"

#define ASPI_IO_MAX_UNITS 26
#define ASPI_IO_MAX_ADAPTERS 16       // adapters scanned; a manager reporting more has the rest ignored
#define ASPI_IO_TARGETS 16
#define ASPI_IO_LUNS 8
#define ASPI_IO_WAIT 16000            // ms for the unit's mutex, and again for the request to complete
#define ASPI_IO_ABORT_WAIT 16000      // ms the manager then has to give an aborted request back
#define ASPI_IO_INQUIRY_LENGTH 96     // the first 36 bytes receive the unit's INQUIRY data

// One unit found by the last enumeration (or a record not in use).
struct AspiIoUnit {
    SRB_ExecSCSICmd request;          // reused for every command; its CDBByte is the unit's CDB area
    BYTE inquiry[ASPI_IO_INQUIRY_LENGTH];
    HANDLE event;                     // manual-reset completion event, from AspiIoInit to AspiIoTerm
    HANDLE mutex;                     // inter-process mutex of the record
    LONG driveLetter;                 // character code of the unit's drive letter, 0 when none
    BOOL volumeLocked;                // this transport holds the logical-volume lock
    BYTE adapter;
    BYTE target;
    BYTE lun;
};

struct AspiIoState {
    HMODULE module;                   // WNASPI32.DLL, null while not loaded
    // The manager's entry points; the transport's fallbacks while it is not loaded.
    SendASPI32CommandFunction sendCommand;
    GetASPI32SupportInfoFunction getSupportInfo;
    HANDLE vwin32;                    // "\\.\VWIN32", null while closed
    OSVERSIONINFOA version;
    DWORD adapterCount;               // as the manager reported it (only the first 16 are scanned)
    SRB_HAInquiry adapters[ASPI_IO_MAX_ADAPTERS];
    AspiIoUnit units[ASPI_IO_MAX_UNITS];
    DWORD count;                      // records in use, 0..26
    // The record whose timed-out request the manager did not give back after the abort: it may
    // still complete into the block and the caller's buffer, so no command is sent while it is
    // pending. Null when every request has come back.
    AspiIoUnit* lostRequest;
};

// The transport's process-wide state (the entry points start as the fallbacks).
extern AspiIoState g_aspiIo;

// Loads the manager, opens VWIN32 and creates the 26 completion events. 1 on success (at once when
// the manager is still loaded); 0 when GetVersionExA fails, the manager or one of its entry points
// is missing, the platform is of the NT family, VWIN32 cannot be opened or an event cannot be
// created. A failure leaves nothing loaded or open, with the reason in the last error.
BOOL AspiIoInit(void);
// Releases every volume lock, the mutexes, the events, VWIN32 and the manager. Returns 1. The unit
// count stays; a command on an old index then finds no mutex and returns 11.
BOOL AspiIoTerm(void);
// True while the manager is loaded (its SendASPI32Command is in place of the fallback).
bool AspiIoManagerLoaded(void);

// The ten host-interface operations of this transport.
const HostInterface* AspiIoInterface(void);

// Host adapter / target / LUN scan with the caller's filter (null accepts all); the device-class
// name goes into the mutex names. Returns the number of units, 0 when the mutex set cannot be built.
DWORD AspiIoEnumerate(HostIoFilter filter, const char* deviceClass);
// INQUIRY of (adapter, target, lun) in the next free record; TRUE when the filter accepted it and
// the record now holds the unit (with its drive letter). The caller counts it.
BOOL AspiIoProbe(HostIoFilter filter, BYTE adapter, BYTE target, BYTE lun);
// Runs the CDB in the record's request block. Only the low 8 bits of direction and CDB length count.
// 4 without a request while a lost request is pending (see lostRequest).
UnitStatus AspiIoExecute(AspiIoUnit* unit, BYTE direction, BYTE cdbLength, void* data, DWORD length);
// Asks the manager to abort the record's timed-out request and waits once more, at most
// ASPI_IO_ABORT_WAIT ms, for it to be given back (its status no longer pending). True when it came
// back, its status then SS_ABORTED; false when the manager still holds it: it is then the lost request.
bool AspiIoAbort(AspiIoUnit* unit);
BOOL AspiIoLoadMedium(AspiIoUnit* unit);
BOOL AspiIoEjectMedium(AspiIoUnit* unit);
BOOL AspiIoLockVolume(AspiIoUnit* unit);
BOOL AspiIoUnlockVolume(AspiIoUnit* unit);
// Unlocks every unit whose volume this transport holds locked and clears every unit's flag, so that
// no lock outlives its unit's record (at re-enumeration and termination).
void AspiIoReleaseVolumeLocks(void);

// Registry discovery of a unit's drive letter. Each returns the character code of the letter
// (sign-extended), or 0 when nothing matched. Only the record's target id and LUN are compared,
// not its host adapter; the identity in the registry must pass `filter`.
LONG AspiIoFindDriveLetter(HostIoFilter filter, const AspiIoUnit* unit);
// One devnode key of HKEY_DYN_DATA\Config Manager\Enum, followed to its hardware key.
LONG AspiIoMatchDevNode(HostIoFilter filter, const AspiIoUnit* unit, HKEY devNode);
// One hardware key of HKEY_LOCAL_MACHINE\Enum.
LONG AspiIoMatchHardwareKey(HostIoFilter filter, const AspiIoUnit* unit, HKEY hardwareKey);

// The registry's decimal texts read as strtoul reads them with base 10 in a 32-bit unsigned long:
// leading white space and one sign are accepted, a negative number wraps, a number too large gives
// 0xFFFFFFFF, and an empty text gives 0. True only when the conversion used up the whole text.
bool AspiIoWholeDecimal(const char* text, DWORD* value);
