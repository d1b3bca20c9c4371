// The volume functions, which older systems lack, looked up by name at their first call: the
// system module is loaded once (a failed load is not retried, the module is never released), an
// entry point found is kept, a missing one is looked up again at the next call. Without the module
// or the entry point each sets ERROR_INVALID_FUNCTION and fails. A volume search begins only when
// FindVolumeClose has been found too.
#pragma once

#include "platform/win32_types.h"

HANDLE VolumeApiFindFirstVolumeA(LPSTR volumeName, DWORD length);
BOOL VolumeApiFindNextVolumeA(HANDLE find, LPSTR volumeName, DWORD length);
BOOL VolumeApiFindVolumeClose(HANDLE find);
BOOL VolumeApiGetVolumeNameForVolumeMountPointA(LPCSTR mountPoint, LPSTR volumeName, DWORD length);

// Forgets the module and the entry points, so that the next call looks them up in the system
// table then in force (tests that put another machine in place).
void VolumeApiReset(void);
