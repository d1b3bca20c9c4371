#include "sim/machine/call_faults.h"

#include <cstring>

void CallFaults::FailNthCall(unsigned n, DWORD error, FaultRepeat repeat, const char* call)
{
    m_armed = n > 0;
    m_countdown = n;
    m_error = error;
    m_repeat = repeat;
    m_call = call ? call : "";
    m_firing = false;
}

void CallFaults::Clear()
{
    m_armed = false;
    m_firing = false;
}

void CallFaults::ClearLog()
{
    m_log.clear();
    m_injected = 0;
}

bool CallFaults::Strike(const char* call, DWORD usualError, DWORD* error)
{
    m_log.push_back(call);
    if (!m_armed)
        return false;
    if (!m_call.empty() && std::strcmp(m_call.c_str(), call) != 0)
        return false;
    if (!m_firing) {
        if (--m_countdown > 0)
            return false;
        m_firing = true;
    }
    if (m_repeat == FaultRepeat::Once)
        m_armed = false;
    ++m_injected;
    *error = m_error ? m_error : usualError;
    return true;
}
