// System calls that record the transport's pauses and mutex waits (see sg_transport_fixture.h).
#include <algorithm>

#include "tests/sg/sg_transport_fixture.h"

namespace {

RecordedTime* g_recorded = nullptr;

void WINAPI RecordSleep(DWORD milliseconds)
{
    g_recorded->sleeps.push_back(milliseconds);
}

DWORD WINAPI RecordWait(HANDLE handle, DWORD milliseconds)
{
    g_recorded->waits.push_back(milliseconds);
    if (g_recorded->reportAbandoned) {
        // An abandoned mutex is owned by the waiter all the same.
        SystemNativeTable().WaitForSingleObject(handle, 0);
        return WAIT_ABANDONED;
    }
    return SystemNativeTable().WaitForSingleObject(handle, std::min(milliseconds, g_recorded->waitCap));
}

BOOL WINAPI RecordRelease(HANDLE handle)
{
    ++g_recorded->releases;
    return SystemNativeTable().ReleaseMutex(handle);
}

}  // namespace

RecordedTime::RecordedTime()
{
    g_recorded = this;
    SystemTable table = SystemNativeTable();
    table.Sleep = RecordSleep;
    table.WaitForSingleObject = RecordWait;
    table.ReleaseMutex = RecordRelease;
    SystemTableInstall(table);
}

RecordedTime::~RecordedTime()
{
    SystemTableReset();
    g_recorded = nullptr;
}
