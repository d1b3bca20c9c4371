// Named mutexes that every account may open, for the per-unit mutexes the transports share with
// other processes: creating one, building a transport's set of them, and taking one for a command.
#pragma once

#include "host/transport_records.h"
#include "platform/win32_types.h"

// How the null-DACL security descriptor is allocated: GlobalAlloc (GMEM_FIXED) for the host
// transports, LocalAlloc (LMEM_ZEROINIT) for the vendor USB transport.
enum SharedMutexDescriptor { SHARED_MUTEX_GLOBAL_FIXED, SHARED_MUTEX_LOCAL_ZEROED };

// Creates (or, when it exists, opens) the named mutex with a null DACL: a security descriptor of the
// minimum length (20 bytes on 32-bit systems), revision 1, and an inheritable handle; not owned.
// The descriptor is freed again. Null on failure, reason in the last error.
HANDLE HostIoCreateSharedMutex(const char* name, SharedMutexDescriptor descriptor = SHARED_MUTEX_GLOBAL_FIXED);

// Whether an enumeration first tries to open a unit mutex another process made, or creates it at
// once (which opens an existing one too).
enum SharedMutexOpening { SHARED_MUTEX_CREATE, SHARED_MUTEX_OPEN_FIRST };

// The transport's unit mutex "mutex<transport>/<device class>/Device<n>" (for example
// mutexSptiIo/QZV-5x/Device0). Null with ERROR_INVALID_PARAMETER for a null or empty class,
// ERROR_FILENAME_EXCED_RANGE for a name that does not fit in MAX_PATH characters, or the reason the
// mutex could not be had.
HANDLE HostIoOpenUnitMutex(const char* transport, const char* deviceClass, DWORD n, SharedMutexOpening opening);

// Gives record n of `count` the transport's unit mutex n, after closing the ones the records hold.
// On any failure every mutex is closed again and false returned, reason in the last error.
template <typename Record>
bool HostIoBuildMutexSet(Record* records, DWORD count, const char* transport, const char* deviceClass,
                         SharedMutexOpening opening)
{
    HostIoCloseEach(records, count, &Record::mutex);
    for (DWORD n = 0; n < count; ++n) {
        records[n].mutex = HostIoOpenUnitMutex(transport, deviceClass, n, opening);
        if (!records[n].mutex) {
            DWORD error = g_sys.GetLastError();
            HostIoCloseEach(records, count, &Record::mutex);
            g_sys.SetLastError(error);
            return false;
        }
    }
    return true;
}

// Waits at most `timeout` ms for a unit's mutex before one command. True when it is held. A wait
// that ends otherwise counts as not had, an abandoned mutex included: the ownership that wait
// conferred is given back at once, so that the mutex does not stay owned by this process.
bool HostIoTakeUnitMutex(HANDLE mutex, DWORD timeout);
