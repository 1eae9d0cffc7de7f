// SPDX-License-Identifier: GPL-3.0-or-later
// What the engine reports and the session's run asks, as the main window shows it: labels,
// log lines and message boxes.
#include "mainwindow/frmKolvik.h"
#include "session/Texts.h"

namespace kolvik {

// The session completes them too, but by then the window that hears of them is gone.
frmKolvik::~frmKolvik() { session.CompletePending(); }

// --- what the engine reports ---

void frmKolvik::Yield() { DoEvents(); }

void frmKolvik::FileStepBegins() {
    FileReached = true;
    ResetFileProgress();
}

void frmKolvik::FileStarted(const std::string& path) {
    lblFiles.text = path;
    DoEvents();
}

void frmKolvik::Progress(std::int64_t position) {
    ShowFileProgress(position, session.Stats().FileBytes);
}

void frmKolvik::CountsChanged() {
    ShowTotalFiles();
    ShowPercentage(session.Stats().BytesDone, session.Stats().TotalBytes);
}

void frmKolvik::Skipped(const std::string& nameOrPath) {
    if (LoggingOn) gLog("SKIP " + nameOrPath);
}

void frmKolvik::Left(const std::string& path, LeftReason reason) {
    if (FileLeft) FileLeft(path, reason);
}

void frmKolvik::Transformed(const std::string& newName, bool decrypted) {
    if (decrypted) LastDecryptName = newName;
}

// Done all the same: said as a file left is, in a message box for a file named on its own and
// in the log of a folder run.
void frmKolvik::NotOverwritten(const std::string& path, LeftReason reason) {
    if (FileLeft) FileLeft(path, reason);
    if (session.HasFileTarget()) {
        MsgBox(LeftText(path, reason), MsgButtons::OK, MsgIcon::Exclamation);
    } else if (LoggingOn) {
        gLog(LeftText(path, reason));
    }
}

bool frmKolvik::GoOnWithoutAccess() {
    if (MsgBox(NoAccessText(session.TargetPath()), MsgButtons::OKCancel) == MsgAnswer::OK)
        return true;
    session.RequestExit();
    CloseProgram();
    return false;
}

WrongKeyAnswer frmKolvik::AskWrongKey(const std::string& path) {
    svc.screen.SetMousePointer(MousePointer::Default);
    const MsgAnswer answer = MsgBox(LeftText(path, LeftReason::WrongKey), MsgButtons::OKCancel);
    svc.screen.SetMousePointer(MousePointer::Hourglass);
    return answer == MsgAnswer::Cancel ? WrongKeyAnswer::Stop : WrongKeyAnswer::GoOn;
}

void frmKolvik::TellUnopenable(const std::string& path, LeftReason reason) {
    MsgBox(LeftText(path, reason));
    if (reason != LeftReason::WrongKey) return;
    // The user may type the password again and retry in the same window.
    cmdDecrypt.enabled = true;
    txtPassword_1.text.clear();
    txtPassword_2.text.clear();
    txtPassword_1.enabled = txtPassword_2.enabled = true;
    cmdEncrypt.enabled = false;
    SetFocus(txtPassword_1);
}

void frmKolvik::DiskFull(const std::string& folder) {
    MsgBox(DiskFullText(folder), MsgButtons::OK, MsgIcon::Exclamation);
}

void frmKolvik::Exited() { Unload(); }

void frmKolvik::StoppedAtTargetFiles() {
    lblTijd.text.clear();
    lblFiles.text.clear();
    lblTotalFiles.text.clear();
}

void frmKolvik::StoppedBetweenFolders() {
    lblPercentage.text.clear();
    lblTotalFiles.text.clear();
}

void frmKolvik::Measuring(bool busy) {
    lblFiles.text = busy ? "Omvang volume wordt bepaald, momentje ..." : "";
}

bool frmKolvik::PauseRequested() { return SuspendRequested && SuspendRequested(); }

void frmKolvik::Pause() {
    if (Suspend) Suspend();
}

// --- what the session's run asks ---

void frmKolvik::Tell(const std::string& text, Tone tone) {
    MsgBox(text, MsgButtons::OK,
           tone == Tone::Warning  ? MsgIcon::Exclamation
           : tone == Tone::Notice ? MsgIcon::Information
                                  : MsgIcon::None);
}

bool frmKolvik::GoOnWithoutTargetAccess(const std::string& text) {
    return MsgBox(text, MsgButtons::OKCancel) == MsgAnswer::OK;
}

void frmKolvik::LogLine(const std::string& text) { (void)gLog(text); }

}  // namespace kolvik
