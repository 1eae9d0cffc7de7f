// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the session tells the per-file operations before every step of a run.
#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/StrongFormat.h"
#include "platform/Clock.h"

namespace kolvik {

struct TransformSettings {
    std::string key;
    WallClock::time_point modeTime{};  // files modified at or after it are left alone
    bool singleFile = false;           // one file named on the command line
    std::string exeName;               // the running program, passed over without trace
    bool strong = false;               // encrypt in the strong format; decryption reads both
    // What new strong files cost to open: tests write cheaper ones, within what is read.
    strong::Argon2Cost strongCost{};
    // Kolvik's programs here are passed over quietly; files named alike elsewhere are
    // reported as left.
    std::string programFolder;
    // Where Kolvik keeps its own log: a Kolvik.log there is passed over as described; one
    // elsewhere is a user's file that merely bears the name, passed over and named.
    std::string logFolder;
    // The files this run reads (its password file), by device and inode: never transformed,
    // whatever their names, so that a tree cannot be locked with its own key inside.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runInputs;
    // How long a folder that another run holds is waited for before its files are left.
    std::chrono::milliseconds folderPatience{2000};
};

}  // namespace kolvik
