// Polling with a deadline. The machine is shared and Wine is slow to start,
// so every wait in the driver is a poll against a generous time-out rather
// than a fixed sleep.
#pragma once

#include <windows.h>

#include <chrono>

namespace driver {

using std::chrono::milliseconds;

// Long enough for a cold Wine start of the program on a loaded machine.
constexpr milliseconds kWindowTimeout{20000};
constexpr milliseconds kExitTimeout{20000};
// For conditions that follow an action at once (a click, a key).
constexpr milliseconds kReactTimeout{10000};
constexpr milliseconds kPollStep{20};

// Calls pred until it returns true or the time-out passes; true when it did.
template <class Pred>
bool WaitUntil(Pred pred, milliseconds timeout, milliseconds step = kPollStep) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (pred()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(static_cast<DWORD>(step.count()));
    }
}

}  // namespace driver
