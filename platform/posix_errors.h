// The Win32 error code that stands for an errno value, so that POSIX code reports its failures
// through the thread's last error the way the Windows calls do.
#pragma once

#include "platform/win32_types.h"

DWORD PosixErrorFromErrno(int err);
