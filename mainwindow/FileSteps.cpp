// SPDX-License-Identifier: GPL-3.0-or-later
// The per-file operations and the walk as the main window runs them: the engine does the
// files, the window shows what it reports and asks what it asks.
#include <utility>

#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"
#include "session/SecretText.h"
#include "session/Texts.h"

namespace kolvik {
namespace {

// The window offers to encrypt the same file again.
void ReadyToEncryptAgain(frmKolvik& f) {
    f.ResetFileProgress();
    f.lblCopyright.visible = true;
    f.cmdGoEncrypt.enabled = false;
    f.cmdEncrypt.enabled = true;
    f.cmdEncrypt.visible = true;
    f.cmdGoDecrypt.visible = false;
    f.cmdGoEncrypt.visible = true;
}

}  // namespace

frmKolvik::~frmKolvik() { FlushPendingOriginals(); }

bool frmKolvik::EncryptFile(std::string& name, const std::string& folder) {
    if (session.HasFileTarget) {
        session.FilesDone = 0;
        lblCopyright.visible = false;
    }
    // The key is the first box's text, read for every file.
    ReplaceText(session.CipherKey, txtPassword_1.text);
    const FileOutcome out = session.EncryptOne(folder, name);
    if (out.result != FileResult::Done) return false;
    name = JoinPath(folder, out.newName);
    return true;
}

bool frmKolvik::DecryptFile(std::string& name, const std::string& folder) {
    if (session.HasFileTarget) {
        ReadyToEncryptAgain(*this);
        LastDecryptName = name;
        LastDecryptFolder = folder;
    }
    const FileOutcome out = session.DecryptOne(folder, name);
    if (out.result != FileResult::Done) return false;
    name = out.newName;
    if (session.HasFileTarget) {
        ReadyToEncryptAgain(*this);
        const std::string plainPath = JoinPath(LastDecryptFolder, LastDecryptName);
        OpenInViewer(plainPath);
        cmdEncrypt.tooltip = plainPath;
    }
    return true;
}

void frmKolvik::ProcessTarget(const std::string& target) { session.TransformTargetFiles(target); }

void frmKolvik::WalkFolder(const std::string& folder) { session.TransformSubfolders(folder); }

std::int64_t frmKolvik::MeasureTarget(const std::string& folder) {
    return session.MeasureFolder(folder);
}

void frmKolvik::FlushPendingOriginals() { session.CompletePending(); }

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

void frmKolvik::Progress(std::int64_t position) { ShowFileProgress(position); }

void frmKolvik::CountsChanged() {
    ShowTotalFiles();
    ShowPercentage();
}

void frmKolvik::Skipped(const std::string& nameOrPath) {
    if (LoggingOn) gLog("SKIP " + nameOrPath);
}

void frmKolvik::Left(const std::string& path, LeftReason reason) {
    lastLeftPath_ = path;
    lastLeftReason_ = reason;
    if (FileLeft) FileLeft(path, reason);
}

void frmKolvik::TellFileNotDone(int messagesBefore) {
    if (session.ExitRequested || messagesShown_ != messagesBefore) return;
    if (lastLeftPath_.empty()) {
        // Passed over without a word, as Kolvik's own files are: the run ends as it is.
        if (session.TargetFileThere()) return;
        // Gone before the step could look at it: nothing was reported, yet nothing was done.
        Left(session.TargetFile, LeftReason::NotFound);
        ++session.Report.left;
    }
    MsgBox(LeftText(lastLeftPath_, lastLeftReason_), MsgButtons::OK, MsgIcon::Exclamation);
}

void frmKolvik::Transformed(const std::string& newName, bool decrypted) {
    if (decrypted) LastDecryptName = newName;
}

// Done all the same: said as a file left is, in a message box for a file named on its own and
// in the log of a folder run.
void frmKolvik::NotOverwritten(const std::string& path, LeftReason reason) {
    if (FileLeft) FileLeft(path, reason);
    if (session.HasFileTarget) {
        MsgBox(LeftText(path, reason), MsgButtons::OK, MsgIcon::Exclamation);
    } else if (LoggingOn) {
        gLog(LeftText(path, reason));
    }
}

void frmKolvik::FileSystemNoted(FileSystemNote note, const std::string& folder,
                                const std::string& fileSystem) {
    fileSystemNotes_.push_back(FileSystemNoteText(note, folder, fileSystem));
}

void frmKolvik::TellFileSystemNotes() {
    for (const std::string& note : std::exchange(fileSystemNotes_, {})) {
        if (LoggingOn) gLog(note);
        MsgBox(note, MsgButtons::OK, MsgIcon::Information);
    }
}

bool frmKolvik::GoOnWithoutAccess() {
    if (MsgBox(NoAccessText(session.TargetPath()), MsgButtons::OKCancel) == MsgAnswer::OK)
        return true;
    session.ExitRequested = true;
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

}  // namespace kolvik
