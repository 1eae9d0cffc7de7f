// SPDX-License-Identifier: GPL-3.0-or-later
#include "session/ActivityLog.h"

#include "mainwindow/frmKolvik.h"
#include "session/Texts.h"

namespace kolvik {

void frmKolvik::chkLoggen_Click() {
    const std::string tip = chkLoggen.value == 1 ? LogFilePath() : "Loggen uitgeschakeld";
    chkLoggen.tooltip = lblLoggen.tooltip = tip;
}

std::string frmKolvik::LogFilePath() const { return LogFilePathIn(svc.process.dataFolder); }

bool frmKolvik::gLog(const std::string& text) {
    if (AppendLogLine(LogFilePath(), svc.regional.TimeOfDay(svc.clock.Now()), text)) return true;
    // Told once per run: a full disk would otherwise ask for a click per file.
    if (session.NoteLogFailed())
        MsgBox(LogUnwritableText(LogFilePath()), MsgButtons::OK, MsgIcon::Exclamation);
    return false;
}

}  // namespace kolvik
