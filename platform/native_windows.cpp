// The native Windows table: every entry is the real API.
#include "platform/system_table.h"

void SystemFillNativeTable(SystemTable* t)
{
    t->GetLastError = ::GetLastError;
    t->SetLastError = ::SetLastError;
    t->CreateFileA = ::CreateFileA;
    t->ReadFile = ::ReadFile;
    t->WriteFile = ::WriteFile;
    t->GetFileSize = ::GetFileSize;
    t->CloseHandle = ::CloseHandle;
    t->DeleteFileA = ::DeleteFileA;
    t->MoveFileExA = ::MoveFileExA;
    t->GetFileAttributesA = ::GetFileAttributesA;
    t->CharNextA = ::CharNextA;
    t->CharLowerBuffA = ::CharLowerBuffA;
    t->Sleep = ::Sleep;
    t->GetTickCount = ::GetTickCount;
    t->CreateMutexA = ::CreateMutexA;
    t->OpenMutexA = ::OpenMutexA;
    t->ReleaseMutex = ::ReleaseMutex;
    t->CreateEventA = ::CreateEventA;
    t->SetEvent = ::SetEvent;
    t->ResetEvent = ::ResetEvent;
    t->WaitForSingleObject = ::WaitForSingleObject;
    t->GetVersionExA = ::GetVersionExA;
    t->GetModuleFileNameA = ::GetModuleFileNameA;
    t->GetFileVersionInfoSizeA = ::GetFileVersionInfoSizeA;
    t->GetFileVersionInfoA = ::GetFileVersionInfoA;
    t->VerQueryValueA = ::VerQueryValueA;
    t->LocalAlloc = ::LocalAlloc;
    t->LocalFree = ::LocalFree;
    t->GetCurrentProcess = ::GetCurrentProcess;
    t->OpenProcessToken = ::OpenProcessToken;
    t->GetTokenInformation = ::GetTokenInformation;
    t->AllocateAndInitializeSid = ::AllocateAndInitializeSid;
    t->EqualSid = ::EqualSid;
    t->FreeSid = ::FreeSid;
    t->DeviceIoControl = ::DeviceIoControl;
    t->GetLogicalDrives = ::GetLogicalDrives;
    t->GetDriveTypeA = ::GetDriveTypeA;
    t->InitializeSecurityDescriptor = ::InitializeSecurityDescriptor;
    t->SetSecurityDescriptorDacl = ::SetSecurityDescriptorDacl;
    t->GlobalAlloc = ::GlobalAlloc;
    t->GlobalFree = ::GlobalFree;
    t->SetupDiGetClassDevsA = ::SetupDiGetClassDevsA;
    t->SetupDiEnumDeviceInterfaces = ::SetupDiEnumDeviceInterfaces;
    t->SetupDiGetDeviceInterfaceDetailA = ::SetupDiGetDeviceInterfaceDetailA;
    t->SetupDiDestroyDeviceInfoList = ::SetupDiDestroyDeviceInfoList;
    t->LoadLibraryA = ::LoadLibraryA;
    t->GetProcAddress = ::GetProcAddress;
    t->FreeLibrary = ::FreeLibrary;
    t->RegOpenKeyExA = ::RegOpenKeyExA;
    t->RegEnumKeyExA = ::RegEnumKeyExA;
    t->RegQueryValueExA = ::RegQueryValueExA;
    t->RegCloseKey = ::RegCloseKey;
}
