// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "engine/Ansi.h"
#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"
#include "platform/AppendFile.h"

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
    std::string entry;
    if (!text.empty()) {
        // A line break inside a file name would split its entry in two; it is shown as "?",
        // as a character the code page lacks is.
        std::string line = text;
        std::replace_if(
            line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, '?');
        entry = ToAnsi("\"" + svc.regional.TimeOfDay(svc.clock.Now()) + " " + line + "\"") + "\r\n";
    }
    if (AppendToFile(LogFilePath(), entry)) return true;
    // Told once per run: a full disk would otherwise ask for a click per file.
    if (!Report.logFailed) {
        Report.logFailed = true;
        MsgBox("Het logboek kan niet worden geschreven: " + LogFilePath(), MsgButtons::OK,
               MsgIcon::Exclamation);
    }
    return false;
}

}  // namespace kolvik
