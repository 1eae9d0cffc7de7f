#include <fstream>

#include "cipher/Ansi.h"
#include "mainwindow/PathHelpers.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {

void frmKolvik::chkLoggen_Click() {
    const std::string tip = chkLoggen.value == 1 ? LogFilePath() : "Loggen uitgeschakeld";
    chkLoggen.tooltip = lblLoggen.tooltip = tip;
}

std::string frmKolvik::LogFilePath() const { return JoinPath(svc.process.dataFolder, "Kolvik.log"); }

bool frmKolvik::gLog(const std::string& text) {
    // Opened and closed for every line, so each line is in the file when this returns.
    std::ofstream log(LogFilePath(), std::ios::binary | std::ios::app);
    if (!log) return false;
    if (!text.empty()) {
        log << ToAnsi("\"" + svc.regional.TimeOfDay(svc.clock.Now()) + " " + text + "\"") << "\r\n";
    }
    log.close();
    return !log.fail();
}

}  // namespace kolvik
