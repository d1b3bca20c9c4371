// Counting the units until the updated one has gone.
#include "unit_departure.h"

#include "platform/system_table.h"
#include "unit/unit_table.h"

bool WaitForUnitToLeave(DWORD countBefore, DWORD limitMs, const std::function<void()>& onPoll, DWORD* waitedMs)
{
    const DWORD start = g_sys.GetTickCount();
    for (;;) {
        const DWORD waited = g_sys.GetTickCount() - start;
        const DWORD remaining = waited < limitMs ? limitMs - waited : 0;
        g_sys.Sleep(remaining < DEPARTURE_POLL_MS ? remaining : DEPARTURE_POLL_MS);
        onPoll();
        const DWORD count = UnitCount();
        *waitedMs = g_sys.GetTickCount() - start;
        if (count < countBefore)
            return true;
        if (*waitedMs >= limitMs)
            return false;
    }
}
