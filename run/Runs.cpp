// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>

#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"
#include "session/ActivityLog.h"
#include "session/SecretText.h"
#include "session/Texts.h"

namespace kolvik {
namespace {

struct Elapsed {
    std::int64_t minutes = 0, seconds = 0;
};

Elapsed Since(std::chrono::steady_clock::time_point start,
              std::chrono::steady_clock::time_point end) {
    const auto total = std::chrono::duration_cast<std::chrono::seconds>(end - start).count();
    return {total / 60, total % 60};
}

std::string ElapsedText(Elapsed e) {
    return std::to_string(e.minutes) + " min " + std::to_string(e.seconds) + " sec";
}

}  // namespace

bool frmKolvik::GuardInstalledFolder() {
    if (!session.WouldTouchInstalledPrograms()) return true;
    MsgBox("Kolvik is gestart zonder map of bestand en zou dan de programmamap " +
               svc.process.programFolder +
               " bewerken. Daar staan ge\xC3\xAFnstalleerde programma's; deze map wordt niet "
               "aangeraakt.\r\n"
               "Gebruik \"Besleutel met Kolvik\" op een map of een bestand.",
           MsgButtons::OK, MsgIcon::Exclamation);
    // The user can only start again with another target.
    BackToEntering();
    return false;
}

namespace {

// The two folder passes and what follows them, shared by both runs.
class FolderRun {
  public:
    FolderRun(frmKolvik& f, bool decrypt) : f_(f), decrypt_(decrypt) {}
    // However the run ends, its keys go with it.
    ~FolderRun() { f_.session.EndRun(); }
    FolderRun(const FolderRun&) = delete;
    FolderRun& operator=(const FolderRun&) = delete;

    std::string Target() const { return f_.session.RunFolder(); }

    // The access question after a pass: asked once, and only when the target folder itself
    // could not be opened or listed (a folder of nothing but folders is no reason to ask).
    bool AccessQuestionAllowsGoingOn() {
        if (!f_.session.HasFolderTarget || !f_.session.Report.targetUnreadable || asked_)
            return true;
        asked_ = true;
        if (f_.MsgBox(NoAccessText(f_.session.TargetFolder), MsgButtons::OKCancel) == MsgAnswer::OK)
            return true;
        CloseProgram();
        return false;
    }

    void CloseProgram() { f_.CloseProgram(); }

    void Begin() {
        f_.lblCopyright.visible = false;
        f_.session.FilesDone = f_.session.FilesSkipped = f_.session.BytesDone = 0;
        f_.LoggingOn = f_.chkLoggen.value == 1;
        f_.chkLoggen.enabled = false;
        f_.chkSterk.enabled = false;
        if (f_.LoggingOn)
            (void)f_.gLog(LogRunHeader(f_.svc.regional.ShortDate(f_.svc.clock.Now())));
        f_.svc.screen.SetMousePointer(MousePointer::Hourglass);
        start_ = f_.svc.clock.Monotonic();
    }

    void Finish() {
        const Elapsed e = Since(start_, f_.svc.clock.Monotonic());
        f_.lblTijd.text = ElapsedText(e);
        f_.lblPercentage.text = "       Klaar !";
        f_.cmdExit.enabled = f_.cmdEncrypt.enabled = f_.cmdDecrypt.enabled = f_.chkLoggen.enabled =
            true;
        f_.chkSterk.enabled = true;
        if (decrypt_ && f_.session.StopRequested) CloseProgram();
        f_.svc.screen.SetMousePointer(MousePointer::Default);
        f_.TellFileSystemNotes();
        f_.LastSummary = SummaryLines(f_.session, decrypt_, Target(), e.minutes * 60 + e.seconds);
        if (f_.LoggingOn)
            for (const auto& line : f_.LastSummary) (void)f_.gLog(line);
        f_.ResetFileProgress();
        f_.UpdateCapsLockNotice();
        f_.lblCopyright.visible = true;
    }

    // Runs a pass; false when the run must end here.
    template <typename Walk>
    bool Pass(Walk pass) {
        pass(Target());
        // Every file and folder is closed when the pass ends: the space of a deleted original
        // comes back now, not when the program quits.
        f_.session.ReleaseFiles();
        if (!AccessQuestionAllowsGoingOn()) {
            f_.svc.screen.SetMousePointer(MousePointer::Default);
            return false;
        }
        return true;
    }

  private:
    frmKolvik& f_;
    bool decrypt_;
    std::chrono::steady_clock::time_point start_{};
    bool asked_ = false;
};

}  // namespace

namespace {

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

void frmKolvik::cmdGoEncrypt_Click() {
    // Only a mode press enables it: a click from elsewhere must not run on emptied boxes.
    if (!cmdGoEncrypt.enabled) return;
    const BusyWhileRunning busy(*this);
    session.Report = {};
    lblCapsLock.visible = false;
    if (!session.HasFileTarget && !GuardInstalledFolder()) return;
    // Before the gate, which computes the PIN's code under a key of its own and leaves this one.
    ReplaceText(session.CipherKey, txtPassword_1.text);
    if (!PinGate()) return;  // the session has noted the refusal

    if (session.HasFileTarget) {
        const std::filesystem::path target = FsPath(session.TargetFile);
        std::string name = LastDecryptName.empty() ? Utf8Path(target.filename()) : LastDecryptName;
        const std::string folder =
            LastDecryptFolder.empty() ? Utf8Path(target.parent_path()) : LastDecryptFolder;
        const int messagesBefore = messagesShown_;
        lastLeftPath_.clear();
        const bool done = EncryptFile(name, folder);
        session.EndRun();
        if (!done) TellFileNotDone(messagesBefore);
        TellFileSystemNotes();
        CloseProgram();
        session.StopRequested = true;
        return;
    }

    FolderRun run(*this, false);
    run.Begin();
    cmdGoEncrypt.enabled = false;
    if (!run.Pass([this](const std::string& t) { ProcessTarget(t); })) return;
    if (session.ExitRequested) return run.CloseProgram();
    if (!run.Pass([this](const std::string& t) { WalkFolder(t); })) return;
    if (session.ExitRequested) return run.CloseProgram();
    run.Finish();
}

void frmKolvik::cmdGoDecrypt_Click() {
    if (!cmdGoDecrypt.enabled) return;
    const BusyWhileRunning busy(*this);
    session.Report = {};
    lblCapsLock.visible = false;
    cmdGoDecrypt.enabled = false;
    if (!session.HasFileTarget && !GuardInstalledFolder()) return;
    lblCopyright.visible = false;
    ReplaceText(session.CipherKey, txtPassword_1.text);

    if (session.HasFileTarget) {
        const std::filesystem::path target = FsPath(session.TargetFile);
        std::string name = Utf8Path(target.filename());
        const int messagesBefore = messagesShown_;
        lastLeftPath_.clear();
        const bool done = DecryptFile(name, Utf8Path(target.parent_path()));
        if (!done) TellFileNotDone(messagesBefore);
        if (done) {
            ResetFileProgress();
            lblCopyright.visible = true;
            cmdGoEncrypt.enabled = false;
            cmdEncrypt.enabled = cmdEncrypt.visible = true;
            cmdGoDecrypt.visible = false;
            cmdGoEncrypt.visible = true;
        }
        session.EndRun();
        return;
    }

    FolderRun run(*this, true);
    session.DecryptMode = true;
    run.Begin();
    if (!run.Pass([this](const std::string& t) { ProcessTarget(t); })) return;
    if (session.ExitRequested || session.StopRequested) return run.CloseProgram();
    if (!run.Pass([this](const std::string& t) { WalkFolder(t); })) return;
    run.Finish();
}

}  // namespace kolvik
