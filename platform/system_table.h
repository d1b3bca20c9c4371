// The system seam: every call into the operating system goes through one process-wide table of
// function pointers with the Win32 signatures. Three tables exist: the native Windows one (the real
// API), the POSIX one (kernel objects and files are real, devices report that nothing is there) and
// the emulated machine of sim/. Tests replace single entries to inject faults and reset them after.
//
// Adding a call: one member here, one line in each table's fill function.
#pragma once

#include "platform/win32_security_types.h"
#include "platform/win32_registry.h"
#include "platform/win32_setupapi.h"
#include "platform/win32_types.h"

// Platform id that GetVersionExA reports on Linux, so that the host-interface dispatch installs the
// SCSI generic transport there. Chosen outside the range Windows uses.
#define VER_PLATFORM_LINUX 0x4C4E5800u

struct SystemTable {
    // Thread-local last error.
    DWORD(WINAPI* GetLastError)(void);
    void(WINAPI* SetLastError)(DWORD dwErrCode);

    // Files and devices. Devices are opened by path like files; the POSIX table opens regular files
    // only (pipes, sockets and devices are refused with ERROR_ACCESS_DENIED, without waiting) and
    // reports them with FILE_ATTRIBUTE_DEVICE.
    HANDLE(WINAPI* CreateFileA)
    (LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode, LPSECURITY_ATTRIBUTES lpSecurityAttributes,
     DWORD dwCreationDisposition, DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
    BOOL(WINAPI* ReadFile)
    (HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped);
    BOOL(WINAPI* WriteFile)
    (HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
     LPOVERLAPPED lpOverlapped);
    DWORD(WINAPI* GetFileSize)(HANDLE hFile, LPDWORD lpFileSizeHigh);
    BOOL(WINAPI* CloseHandle)(HANDLE hObject);
    BOOL(WINAPI* DeleteFileA)(LPCSTR lpFileName);
    BOOL(WINAPI* MoveFileExA)(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags);
    DWORD(WINAPI* GetFileAttributesA)(LPCSTR lpFileName);

    // Multibyte text of the system code page (UTF-8 on POSIX). CharNextA steps over one character
    // and never past the terminating NUL; CharLowerBuffA lowers in place with the system locale's
    // case mapping, keeping every character's length.
    LPSTR(WINAPI* CharNextA)(LPCSTR lpsz);
    DWORD(WINAPI* CharLowerBuffA)(LPSTR lpsz, DWORD cchLength);

    // Time.
    void(WINAPI* Sleep)(DWORD dwMilliseconds);
    DWORD(WINAPI* GetTickCount)(void);

    // Kernel objects.
    HANDLE(WINAPI* CreateMutexA)(LPSECURITY_ATTRIBUTES lpMutexAttributes, BOOL bInitialOwner, LPCSTR lpName);
    HANDLE(WINAPI* OpenMutexA)(DWORD dwDesiredAccess, BOOL bInheritHandle, LPCSTR lpName);
    BOOL(WINAPI* ReleaseMutex)(HANDLE hMutex);
    HANDLE(WINAPI* CreateEventA)
    (LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset, BOOL bInitialState, LPCSTR lpName);
    BOOL(WINAPI* SetEvent)(HANDLE hEvent);
    BOOL(WINAPI* ResetEvent)(HANDLE hEvent);
    DWORD(WINAPI* WaitForSingleObject)(HANDLE hHandle, DWORD dwMilliseconds);

    // System information.
    BOOL(WINAPI* GetVersionExA)(LPOSVERSIONINFOA lpVersionInformation);

    // The program's own file and the version information of files. The POSIX table finds the
    // program's file but reports that files carry no version resource.
    DWORD(WINAPI* GetModuleFileNameA)(HMODULE hModule, LPSTR lpFilename, DWORD nSize);
    DWORD(WINAPI* GetFileVersionInfoSizeA)(LPCSTR lptstrFilename, LPDWORD lpdwHandle);
    BOOL(WINAPI* GetFileVersionInfoA)(LPCSTR lptstrFilename, DWORD dwHandle, DWORD dwLen, LPVOID lpData);
    BOOL(WINAPI* VerQueryValueA)(LPCVOID pBlock, LPCSTR lpSubBlock, LPVOID* lplpBuffer, PUINT puLen);

    // Local memory blocks (the token's group list, the version block).
    HLOCAL(WINAPI* LocalAlloc)(UINT uFlags, SIZE_T uBytes);
    HLOCAL(WINAPI* LocalFree)(HLOCAL hMem);

    // The process token and security identifiers. The POSIX token lists Everyone, and the
    // Administrators alias when the effective user is root (the Users alias otherwise).
    HANDLE(WINAPI* GetCurrentProcess)(void);
    BOOL(WINAPI* OpenProcessToken)(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
    BOOL(WINAPI* GetTokenInformation)
    (HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass, LPVOID TokenInformation,
     DWORD TokenInformationLength, PDWORD ReturnLength);
    BOOL(WINAPI* AllocateAndInitializeSid)
    (PSID_IDENTIFIER_AUTHORITY pIdentifierAuthority, BYTE nSubAuthorityCount, DWORD nSubAuthority0,
     DWORD nSubAuthority1, DWORD nSubAuthority2, DWORD nSubAuthority3, DWORD nSubAuthority4,
     DWORD nSubAuthority5, DWORD nSubAuthority6, DWORD nSubAuthority7, PSID* pSid);
    BOOL(WINAPI* EqualSid)(PSID pSid1, PSID pSid2);
    PVOID(WINAPI* FreeSid)(PSID pSid);

    // Device control and the drive letters of the storage stack.
    BOOL(WINAPI* DeviceIoControl)
    (HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize, LPVOID lpOutBuffer,
     DWORD nOutBufferSize, LPDWORD lpBytesReturned, LPOVERLAPPED lpOverlapped);
    DWORD(WINAPI* GetLogicalDrives)(void);
    UINT(WINAPI* GetDriveTypeA)(LPCSTR lpRootPathName);

    // Security descriptors (a null DACL opens a shared kernel object to every account) and the
    // memory blocks they are built in.
    BOOL(WINAPI* InitializeSecurityDescriptor)(PSECURITY_DESCRIPTOR pSecurityDescriptor, DWORD dwRevision);
    BOOL(WINAPI* SetSecurityDescriptorDacl)
    (PSECURITY_DESCRIPTOR pSecurityDescriptor, BOOL bDaclPresent, PACL pDacl, BOOL bDaclDefaulted);
    HGLOBAL(WINAPI* GlobalAlloc)(UINT uFlags, SIZE_T dwBytes);
    HGLOBAL(WINAPI* GlobalFree)(HGLOBAL hMem);

    // Device-interface enumeration (SetupAPI). The POSIX table has no device information sets:
    // SetupDiGetClassDevsA fails with INVALID_HANDLE_VALUE, so no interface is ever found.
    HDEVINFO(WINAPI* SetupDiGetClassDevsA)(const GUID* ClassGuid, LPCSTR Enumerator, HWND hwndParent, DWORD Flags);
    BOOL(WINAPI* SetupDiEnumDeviceInterfaces)
    (HDEVINFO DeviceInfoSet, PSP_DEVINFO_DATA DeviceInfoData, const GUID* InterfaceClassGuid, DWORD MemberIndex,
     PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData);
    BOOL(WINAPI* SetupDiGetDeviceInterfaceDetailA)
    (HDEVINFO DeviceInfoSet, PSP_DEVICE_INTERFACE_DATA DeviceInterfaceData,
     PSP_DEVICE_INTERFACE_DETAIL_DATA_A DeviceInterfaceDetailData, DWORD DeviceInterfaceDetailDataSize,
     LPDWORD RequiredSize, PSP_DEVINFO_DATA DeviceInfoData);
    BOOL(WINAPI* SetupDiDestroyDeviceInfoList)(HDEVINFO DeviceInfoSet);

    // Modules and entry points looked up at run time (functions that older systems lack).
    HMODULE(WINAPI* LoadLibraryA)(LPCSTR lpLibFileName);
    FARPROC(WINAPI* GetProcAddress)(HMODULE hModule, LPCSTR lpProcName);
    BOOL(WINAPI* FreeLibrary)(HMODULE hLibModule);

    // The registry (the POSIX table has none: every key is missing). Results are error codes, not
    // the last error.
    LONG(WINAPI* RegOpenKeyExA)(HKEY hKey, LPCSTR lpSubKey, DWORD ulOptions, REGSAM samDesired, PHKEY phkResult);
    LONG(WINAPI* RegEnumKeyExA)
    (HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved, LPSTR lpClass,
     LPDWORD lpcchClass, PFILETIME lpftLastWriteTime);
    LONG(WINAPI* RegQueryValueExA)
    (HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData);
    LONG(WINAPI* RegCloseKey)(HKEY hKey);
};

// The calls in force. Code calls through it: g_sys.CreateFileA(...).
extern SystemTable g_sys;

// The table of the system this program runs on (native Windows, or POSIX).
const SystemTable& SystemNativeTable(void);

// Puts a whole table in force (the emulated machine does this), or the native one back.
void SystemTableInstall(const SystemTable& table);
void SystemTableReset(void);

// Fills a table with the native calls of this build; each fill function is one line per call.
void SystemFillNativeTable(SystemTable* table);
