// The wait of `qzvctl update` for the unit to leave the system after it saved its new firmware. The
// dialog waits for as long as it takes (the user watches the LEDs); a program without a person in front
// of it has a time limit of its own. The units are counted again once a second, through the system
// seam's clock: real time on a real system, the virtual clock of the emulated machine in tests and
// with --sim, so that a wait there takes no real time.
#pragma once

#include <functional>

#include "platform/win32_types.h"

const DWORD DEPARTURE_POLL_MS = 1000;

// Counts the units every DEPARTURE_POLL_MS (the first time after one period) until fewer than
// `countBefore` are found, a unit that does not answer counting as gone, or `limitMs` have passed.
// `onPoll` runs before each count. True when the unit left; *waitedMs is the time waited.
bool WaitForUnitToLeave(DWORD countBefore, DWORD limitMs, const std::function<void()>& onPoll, DWORD* waitedMs);
