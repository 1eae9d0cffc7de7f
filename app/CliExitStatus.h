// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// kolvik-cli's exit status, decided in one place from values, never from message texts.
#include <cstdint>

#include "engine/RunEvents.h"

namespace kolvik::cli {

inline constexpr int kExitDone = 0;
inline constexpr int kExitFilesLeft = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitPinRefused = 3;
inline constexpr int kExitWrongKey = 4;

// What a run of kolvik-cli came to.
struct CliOutcome {
    int signal = 0;              // SIGINT or SIGTERM when one came; 0 otherwise
    bool unusableInput = false;  // usage error, unusable PAD, unreadable or unequal password
    bool decryptRun = false;
    std::int64_t filesDone = 0;
    RunReport report;
};

// 128 + the signal; then 2, 3, 4, 1 in that order of precedence; 0 when every file that the run
// set out to transform was transformed.
[[nodiscard]] int ExitStatus(const CliOutcome& outcome);

}  // namespace kolvik::cli
