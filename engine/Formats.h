// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Every format the engine knows, with what each keeps for a run: which one a file is in, which
// one new copies are written in, and the run's keys, forgotten when it ends.
#include <string_view>

#include "engine/ClassicFormat.h"
#include "engine/StrongFormats.h"

namespace kolvik {

class Formats {
  public:
    Formats() = default;
    Formats(const Formats&) = delete;
    Formats& operator=(const Formats&) = delete;
    ~Formats() { EndRun(); }

    // The format of a file that starts with leading.
    Format& Reading(std::string_view leading);
    // strong: version 2 of the strong format, with one salt per run (a run starts with a mode
    // press at modeTime) and the given cost; otherwise the described format.
    WrittenFormat& Writing(bool strong, WallClock::time_point modeTime,
                           const strong::Argon2Cost& cost);
    // Wipes the keys, the passwords they were made from, and what the chunk buffer held.
    void EndRun();

  private:
    StrongShared shared_;
    ClassicFormat classic_;
    StrongFormatV1 v1_{shared_};
    StrongFormatV2 v2_{shared_};
};

}  // namespace kolvik
