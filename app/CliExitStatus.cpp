// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CliExitStatus.h"

namespace kolvik::cli {

int ExitStatus(const CliOutcome& outcome) {
    const RunReport& report = outcome.report;
    if (outcome.signal != 0) return 128 + outcome.signal;
    if (outcome.unusableInput || report.passwordRefused) return kExitUsage;
    if (report.pinRefused) return kExitPinRefused;
    // A password that opened nothing is most likely mistyped: that deserves its own status,
    // apart from a tree in which some files were left for other reasons.
    if (report.stoppedOnWrongKey) return kExitWrongKey;
    if (outcome.decryptRun && report.wrongKeys > 0 && outcome.filesDone == 0) return kExitWrongKey;
    // A full disk stops the run: the files after the one that failed were never tried.
    if (report.left > 0 || report.diskFull) return kExitFilesLeft;
    // Nothing it set out to do may end with 0 while part of it failed.
    if (report.targetUnreadable || report.logFailed || report.notOverwritten > 0)
        return kExitFilesLeft;
    return kExitDone;
}

}  // namespace kolvik::cli
