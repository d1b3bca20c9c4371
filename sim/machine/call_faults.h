// Fault injection by countdown: the n-th call through the emulated machine's system table fails
// with a chosen error, once or from then on, so that a test can fail each call of a whole run in
// turn. Only calls that a test can sensibly make fail count: not Sleep, GetTickCount, GetLastError,
// SetLastError, GetDriveTypeA, and none of the calls that release something (CloseHandle,
// ReleaseMutex, SetEvent, ResetEvent, GlobalFree, LocalFree, FindVolumeClose, FreeLibrary, RegCloseKey,
// SetupDiDestroyDeviceInfoList), whose failure would only leak.
#pragma once

#include <string>
#include <vector>

#include "platform/win32_types.h"

enum class FaultRepeat { Once, FromThenOn };

class CallFaults {
public:
    // The n-th counted call from now (1: the next one) fails with `error`, or with the call's usual
    // error when `error` is 0. With `call` set, only calls of that name are counted for this fault.
    void FailNthCall(unsigned n, DWORD error = 0, FaultRepeat repeat = FaultRepeat::Once, const char* call = nullptr);
    // No injected failure from now on.
    void Clear();
    // Forgets the calls counted so far (the log and the number made to fail).
    void ClearLog();

    // Counted calls so far, their names in order, and how many of them were made to fail.
    unsigned Calls() const { return static_cast<unsigned>(m_log.size()); }
    const std::vector<const char*>& Log() const { return m_log; }
    unsigned Injected() const { return m_injected; }

    // Counts a call; true when it must fail, with the error to report in *error.
    bool Strike(const char* call, DWORD usualError, DWORD* error);

private:
    bool m_armed = false;
    unsigned m_countdown = 0;
    DWORD m_error = 0;
    FaultRepeat m_repeat = FaultRepeat::Once;
    std::string m_call;
    bool m_firing = false;
    unsigned m_injected = 0;
    std::vector<const char*> m_log;
};
