// SPDX-License-Identifier: GPL-3.0-or-later
// The start buttons: the session runs the run; the window sets itself up for it, shows what it
// is told, and afterwards offers what comes next.
#include <filesystem>

#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"
#include "session/ActivityLog.h"
#include "session/Texts.h"

namespace kolvik {
namespace {

std::string ElapsedText(std::int64_t seconds) {
    return std::to_string(seconds / 60) + " min " + std::to_string(seconds % 60) + " sec";
}

// Marks the window busy for as long as a run lasts, however it ends.
class BusyWhileRunning {
  public:
    explicit BusyWhileRunning(frmKolvik& f) : f_(f) { f_.RunBusy = true; }
    ~BusyWhileRunning() { f_.RunBusy = false; }
    BusyWhileRunning(const BusyWhileRunning&) = delete;
    BusyWhileRunning& operator=(const BusyWhileRunning&) = delete;

  private:
    frmKolvik& f_;
};

}  // namespace

RunEnd frmKolvik::StartRun(RunMode mode) {
    lblCapsLock.visible = false;
    RunRequest request;
    request.mode = mode;
    request.log = chkLoggen.value == 1;
    request.logDate = svc.regional.ShortDate(svc.clock.Now());
    if (mode == RunMode::Encrypt && session.HasFileTarget() && !LastDecryptName.empty()) {
        request.folder = LastDecryptFolder;
        request.name = LastDecryptName;
    }
    const RunEnd end = session.Run(request, txtPassword_1.text, *this);
    if (end == RunEnd::InstalledPrograms) BackToEntering();  // only another target can run
    if (end == RunEnd::PinRefused) ForgetRefusedPin();
    if (end == RunEnd::Stopped) {
        svc.screen.SetMousePointer(MousePointer::Default);
        CloseProgram();
    }
    if (end == RunEnd::Finished) FinishFolderRun();
    return end;
}

void frmKolvik::FilesNext() {
    lblCopyright.visible = false;
    if (session.HasFileTarget()) {
        if (!session.DecryptMode()) return;
        ReadyToEncryptAgain();
        const std::filesystem::path target = FsPath(session.TargetFile());
        LastDecryptName = Utf8Path(target.filename());
        LastDecryptFolder = Utf8Path(target.parent_path());
        return;
    }
    LoggingOn = chkLoggen.value == 1;
    chkLoggen.enabled = false;
    chkSterk.enabled = false;
    cmdGoEncrypt.enabled = false;
    svc.screen.SetMousePointer(MousePointer::Hourglass);
}

void frmKolvik::FinishFolderRun() {
    lblTijd.text = ElapsedText(session.Seconds());
    lblPercentage.text = "       Klaar !";
    cmdExit.enabled = cmdEncrypt.enabled = cmdDecrypt.enabled = chkLoggen.enabled = true;
    chkSterk.enabled = true;
    if (session.DecryptMode() && session.StopRequested()) CloseProgram();
    svc.screen.SetMousePointer(MousePointer::Default);
    LastSummary = session.Summary();
    ResetFileProgress();
    UpdateCapsLockNotice();
    lblCopyright.visible = true;
}

void frmKolvik::cmdGoEncrypt_Click() {
    // Only a mode press enables it: a click from elsewhere must not run on emptied boxes.
    if (!cmdGoEncrypt.enabled) return;
    const BusyWhileRunning busy(*this);
    const RunEnd end = StartRun(RunMode::Encrypt);
    if (end != RunEnd::FileDone && end != RunEnd::FileNotDone) return;
    CloseProgram();
    session.RequestStop();
}

void frmKolvik::cmdGoDecrypt_Click() {
    if (!cmdGoDecrypt.enabled) return;
    const BusyWhileRunning busy(*this);
    cmdGoDecrypt.enabled = false;
    if (StartRun(RunMode::Decrypt) != RunEnd::FileDone) return;
    ReadyToEncryptAgain();
    const std::string plainPath = JoinPath(LastDecryptFolder, LastDecryptName);
    OpenInViewer(plainPath);
    cmdEncrypt.tooltip = plainPath;
}

// The window offers to encrypt the same file again.
void frmKolvik::ReadyToEncryptAgain() {
    ResetFileProgress();
    lblCopyright.visible = true;
    cmdGoEncrypt.enabled = false;
    cmdEncrypt.enabled = true;
    cmdEncrypt.visible = true;
    cmdGoDecrypt.visible = false;
    cmdGoEncrypt.visible = true;
}

}  // namespace kolvik
