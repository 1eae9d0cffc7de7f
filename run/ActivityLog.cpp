// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <fstream>

#include "engine/Ansi.h"
#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {

void frmKolvik::chkLoggen_Click() {
    const std::string tip = chkLoggen.value == 1 ? LogFilePath() : "Loggen uitgeschakeld";
    chkLoggen.tooltip = lblLoggen.tooltip = tip;
}

std::string frmKolvik::LogFilePath() const {
    return JoinPath(svc.process.dataFolder, "Kolvik.log");
}

bool frmKolvik::gLog(const std::string& text) {
    // Opened and closed for every line, so each line is in the file when this returns.
    std::ofstream log(LogFilePath(), std::ios::binary | std::ios::app);
    if (!log) return false;
    if (!text.empty()) {
        // A line break inside a file name would split its entry in two; it is shown as "?",
        // as a character the code page lacks is.
        std::string line = text;
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, '?');
        log << ToAnsi("\"" + svc.regional.TimeOfDay(svc.clock.Now()) + " " + line + "\"") << "\r\n";
    }
    log.close();
    return !log.fail();
}

}  // namespace kolvik
