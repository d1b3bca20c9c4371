// The emulated machine's clock: time moves only when the program sleeps or waits, so a 32 s wait
// costs no real time. Scenario actions (another process releasing a mutex, an event being
// signalled) can be scheduled for a point in virtual time and run when the clock passes it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "platform/win32_types.h"

class VirtualClock {
public:
    // Milliseconds since the machine started.
    uint64_t Now() const { return m_now; }
    // What GetTickCount reports: the tick base plus Now(), wrapping like the real counter.
    DWORD TickCount() const { return static_cast<DWORD>(m_tickBase + m_now); }
    void SetTickBase(DWORD base) { m_tickBase = base; }

    // Runs `action` when the clock reaches `when` (at once if it is already there, on the next move).
    void At(uint64_t when, std::function<void()> action);
    void After(uint64_t delay, std::function<void()> action) { At(m_now + delay, std::move(action)); }
    size_t Pending() const { return m_actions.size(); }

    // Moves the clock on by `ms`, running every action that falls due, in time order.
    void Advance(uint64_t ms);

    // Moves the clock on until `ready()` holds (checked now and after each action) or `ms` have
    // passed. With INFINITE it stops when no action is left. Returns whether `ready()` held.
    bool AdvanceUntil(DWORD ms, const std::function<bool()>& ready);

private:
    // Runs the earliest action if it is due by `limit`; false when there is none.
    bool RunNextDue(uint64_t limit);

    uint64_t m_now = 0;
    DWORD m_tickBase = 1000000;
    std::multimap<uint64_t, std::function<void()>> m_actions;
};
