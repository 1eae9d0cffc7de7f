// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Dutch words for the session's values, shared by the window and kolvik-cli so that both
// say the same thing. The engine below stays free of user text.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/LeftReason.h"
#include "session/RunSession.h"

namespace kolvik {

// The reason a file was left, as it follows the path ("PAD: reden").
std::string_view LeftReasonText(LeftReason reason);
// Why a path cannot be the target; empty for TargetRefusal::None.
std::string_view TargetRefusalText(TargetRefusal refusal);
// Why the mode was not taken; empty for ModeRefusal::None.
std::string_view ModeRefusalText(ModeRefusal refusal);
// The messages both front ends show, each naming its path.
std::string LeftText(const std::string& path, LeftReason reason);  // "PAD: reden"
std::string UnusablePathText(const std::string& path, TargetRefusal refusal);
std::string NoAccessText(const std::string& path);
std::string DiskFullText(const std::string& folder);
// Overwriting the originals cannot reach their bytes on this file system.
std::string FileSystemNoteText(FileSystemNote note, const std::string& folder,
                               const std::string& fileSystem);
std::string LogUnwritableText(const std::string& logPath);
// A run without a target would work on the program's folder, which holds installed programs.
std::string InstalledProgramsText(const std::string& programFolder);
// The PIN gate's words: the code was wrong; this password's first three characters are the
// code from now on.
inline constexpr std::string_view kPinRefusedText = "Foute PIN-code";
inline constexpr std::string_view kPinFirstRunText =
    "Onthoud de eerste drie tekens van het zojuist door u ingevoerde wachtwoord.\r\n"
    "Dit is voortaan uw PIN-code. ( Verwijderen PIN-code = CTRL + u , F1 = Help)";
// The summary block of a folder run on folder, after the given number of seconds.
std::vector<std::string> SummaryLines(const RunStats& stats, bool decrypt,
                                      const std::string& folder, std::int64_t seconds);

}  // namespace kolvik
