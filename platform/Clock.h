// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Time as the program reads it. Kept apart from the other services so that the file layer and
// the engine can name a time without seeing anything of the windows.
#include <chrono>

namespace kolvik {

using WallClock = std::chrono::system_clock;

class Clock {
  public:
    virtual ~Clock() = default;
    virtual WallClock::time_point Now() = 0;
    // Elapsed-time measurements; never jumps at midnight or when the clock is set.
    virtual std::chrono::steady_clock::time_point Monotonic() = 0;
};

// The standard library's clocks, the same on every system.
class SystemClock : public Clock {
  public:
    WallClock::time_point Now() override { return WallClock::now(); }
    std::chrono::steady_clock::time_point Monotonic() override {
        return std::chrono::steady_clock::now();
    }
};

}  // namespace kolvik
