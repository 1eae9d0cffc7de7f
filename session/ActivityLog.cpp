// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ActivityLog.h"

#include <algorithm>

#include "engine/Ansi.h"
#include "engine/PathHelpers.h"
#include "platform/AppendFile.h"

namespace kolvik {

std::string LogFilePathIn(const std::string& dataFolder) {
    return JoinPath(dataFolder, "Kolvik.log");
}

std::string LogRunHeader(const std::string& shortDate) {
    const std::string bar(25, '-');
    return bar + shortDate + bar;
}

bool AppendLogLine(const std::string& logPath, const std::string& timeOfDay,
                   const std::string& text) {
    std::string entry;
    if (!text.empty()) {
        // A line break inside a file name would split its entry in two; it is shown as "?",
        // as a character the code page lacks is.
        std::string line = text;
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, '?');
        entry = ToAnsi("\"" + timeOfDay + " " + line + "\"") + "\r\n";
    }
    return AppendToFile(logPath, entry);
}

}  // namespace kolvik
