#include "sim/machine/virtual_clock.h"

#include <limits>

void VirtualClock::At(uint64_t when, std::function<void()> action)
{
    m_actions.emplace(when < m_now ? m_now : when, std::move(action));
}

bool VirtualClock::RunNextDue(uint64_t limit)
{
    auto next = m_actions.begin();
    if (next == m_actions.end() || next->first > limit)
        return false;
    m_now = next->first;
    std::function<void()> action = std::move(next->second);
    m_actions.erase(next);
    action();
    return true;
}

void VirtualClock::Advance(uint64_t ms)
{
    uint64_t target = m_now + ms;
    while (RunNextDue(target)) {
    }
    m_now = target;
}

bool VirtualClock::AdvanceUntil(DWORD ms, const std::function<bool()>& ready)
{
    if (ready())
        return true;
    bool forever = ms == INFINITE;
    uint64_t target = forever ? std::numeric_limits<uint64_t>::max() : m_now + ms;
    while (RunNextDue(target)) {
        if (ready())
            return true;
    }
    if (!forever)
        m_now = target;
    return false;
}
