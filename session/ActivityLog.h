// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The activity log as both front ends write it: one quoted line per entry, stamped with the
// time of day, in the code page the log has always had.
#include <string>

namespace kolvik {

std::string LogFilePathIn(const std::string& dataFolder);
// The line that opens a folder run's entries.
std::string LogRunHeader(const std::string& shortDate);
// Appends one line (an empty text: an empty line); false when the log cannot be written.
// Opened and closed for every line, so each line is in the file when this returns.
bool AppendLogLine(const std::string& logPath, const std::string& timeOfDay,
                   const std::string& text);

}  // namespace kolvik
