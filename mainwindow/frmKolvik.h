// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window as a form model: its controls, the program's shared state and the
// procedures that the other windows call. The runs (run/) and the shell integration (shell/)
// add their handlers; the files are the engine's (engine/), driven from here and reported
// back through RunEvents. Nothing here touches Qt.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/RunEvents.h"
#include "platform/Form.h"
#include "platform/HostFlavor.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "session/RunSession.h"

namespace kolvik {

struct Services {
    Dialogs& dialogs;
    Screen& screen;
    KeyState& keys;
    Clock& clock;
    Regional& regional;
    Launcher& launcher;
    Registry& registry;
    ProcessFacts process;
};

// The run itself is the session's; the window words what it reports and asks, and keeps only
// what it shows.
class frmKolvik : public Form, private RunEvents, private RunFront {
  public:
    explicit frmKolvik(Services services);

    // Controls, with their design-time text and place in twips.
    Control lblPassword_1{"lblPassword_1", ControlKind::Label, "Password :", {240, 240, 1455, 495}};
    Control txtPassword_1{"txtPassword_1", ControlKind::TextBox, "", {1800, 240, 2895, 375}, 0};
    Control lblPassword_2{"lblPassword_2", ControlKind::Label, "Confirm :", {240, 720, 1335, 270}};
    Control txtPassword_2{"txtPassword_2", ControlKind::TextBox, "", {1800, 720, 2895, 405}, 1};
    Control cmdExit{"cmdExit", ControlKind::Button, "E x i t", {4800, 240, 735, 855}, 4};
    Control cmdGoEncrypt{
        "cmdGoEncrypt", ControlKind::Button, ">-------->>>", {1800, 1200, 2055, 375}, 2};
    Control cmdGoDecrypt{
        "cmdGoDecrypt", ControlKind::Button, ">-------->>>", {1800, 1200, 2055, 375}, 5};
    Control cmdEncrypt{"cmdEncrypt", ControlKind::Button, "Encrypt", {3960, 1200, 735, 375}, 3};
    Control cmdDecrypt{"cmdDecrypt", ControlKind::Button, "Decrypt", {4800, 1200, 735, 375}, 6};
    Control lblLoggen{"lblLoggen", ControlKind::Label, "Loggen", {300, 1275, 735, 255}};
    Control chkLoggen{"chkLoggen", ControlKind::CheckBox, "", {1560, 1320, 255, 255}, 7};
    Control lblFiles{"lblFiles", ControlKind::Label, "", {150, 1800, 5535, 375}};
    Control Label1{
        "Label1", ControlKind::Label, "              S t a t s ", {1920, 2175, 1935, 285}};
    Control lblTotalFiles{"lblTotalFiles", ControlKind::Label, "", {240, 2550, 1935, 495}};
    Control lblPercentage{"lblPercentage", ControlKind::Label, "", {2250, 2550, 1575, 495}};
    Control lblTijd{"lblTijd", ControlKind::Label, "", {3960, 2550, 1335, 495}};
    Control lblCopyright{
        "lblCopyright", ControlKind::Label, "\xC2\xA9 2026 Kolvik", {3900, 3000, 1785, 375}};
    Control lblCapsLock{"lblCapsLock", ControlKind::Label, " CapsLock ", {150, 3300, 1215, 315}};
    // The format choice, in a row of its own below the described window, lined up with Loggen.
    Control lblSterk{"lblSterk", ControlKind::Label, "Sterk", {300, 3660, 735, 255}};
    Control chkSterk{"chkSterk", ControlKind::CheckBox, "", {1560, 3660, 255, 255}, 8};
    static constexpr int kBlocks = 39;
    std::array<Control, kBlocks> element;
    std::array<Control, 9> lines;

    // Shared state of the program (fields of the main window).
    std::string LastDecryptName, LastDecryptFolder;
    bool FileReached = false;
    bool LoggingOn = false;
    int NextBlock = 0;
    std::string VersionMajor, VersionMinor, VersionRevision;
    std::string SystemRootPath, SystemFolder, Wow64Folder;
    bool Is64Bit = false;

    Services svc;
    // Declared after svc, whose process facts it reads, and built with this window as its
    // listener, whose base is complete by then.
    RunSession session;

    std::vector<Control*> Controls() override;
    void OnClick(Control& c) override;
    bool OnKeyDown(int keyCode, int shift) override;
    void OnKeyUp(int keyCode, int shift) override;
    void OnResize() override;

    // Main window behaviour (mainwindow/frmKolvik.cpp).
    void cmdEncrypt_Click();
    void cmdDecrypt_Click();
    void cmdExit_Click();
    // The registration dialog, if loaded, and the main window close: the program ends.
    void CloseProgram();
    // Password boxes and the mode buttons the target allows open again, the start buttons
    // closed: the user chooses anew.
    void BackToEntering();
    void EnableAllowedModes();
    void UpdateCapsLockNotice();
    void DoEvents();
    MsgAnswer MsgBox(const std::string& text, MsgButtons buttons = MsgButtons::OK,
                     MsgIcon icon = MsgIcon::None);

    // Key commands F1, Ctrl+R and Ctrl+U (mainwindow/KeyCommands.cpp); true when the key
    // is one of them, whatever it then did.
    bool Form_KeyDown(int keyCode, int shift);

    // Progress display (mainwindow/Progress.cpp).
    void BuildProgressBar();
    void ResetFileProgress();
    void ShowFileProgress(std::int64_t position, std::int64_t fileBytes);
    void ShowTotalFiles();
    void ShowPercentage(std::int64_t done, std::int64_t total);

    // Activity log (run/ActivityLog.cpp).
    void chkLoggen_Click();
    std::string LogFilePath() const;
    // Appends one line; false when the log cannot be written (callers skip that line).
    bool gLog(const std::string& text);

    // The strong format (mainwindow/StrongChoice.cpp): the choice is kept per user, and fixed
    // for a run by the Encrypt mode button together with its password.
    void chkSterk_Click();
    void LoadStrongChoice();

    // The viewer (mainwindow/Viewer.cpp).
    void OpenInViewer(const std::string& path);

    // Start-up, the two runs and the PIN gate (run/).
    void Form_Load();
    // Takes the command line's path as the target, or says why it cannot.
    TargetRefusal TakeTarget(const std::string& path, const std::string& captionStart);
    bool PinGate();                        // false: the password was refused and the window reset
    std::vector<std::string> LastSummary;  // the summary block of the last folder run
    // Told of every file or folder that a run set out to transform and left as it was, with
    // its full path.
    std::function<void(const std::string& path, LeftReason reason)> FileLeft;
    // Set by a front end that can be suspended (kolvik-cli on Ctrl+Z): asked between files.
    std::function<bool()> SuspendRequested;
    std::function<void()> Suspend;
    // From the start button until the run has ended: windows that the key commands open
    // would stand the run still, so they wait.
    bool RunBusy = false;
    // A run without a target works on the program's folder; never when it holds installed programs.
    void cmdGoEncrypt_Click();
    void cmdGoDecrypt_Click();

    // Shell integration (shell/).
    void FindSystemFolders();
    void REG_Create();
    void REG_Check();
    void REG_Delete();

    ~frmKolvik() override;  // completes the deletions still pending
    frmKolvik(const frmKolvik&) = delete;
    frmKolvik& operator=(const frmKolvik&) = delete;

    // --- members added by the shell integration (shell/) ---
    // Windows folders, file names and "\" in paths; otherwise the Linux equivalents.
    bool WindowsShell = HostFlavor() == Flavor::Windows;
    std::string IconFolder;                  // where REG_Create puts the icon; the scripts name it
    Form* registrationDialog = nullptr;      // unloaded by REG_Delete when set
    std::string ProgId() const;              // "kolvik" and the version: the store's name
    std::string ScriptTargetFolder() const;  // the folder the scripts' command names
    void CreateKol_REG();
    void CreateKolvik_REG();
    void CreateContexMenu_REG();
    void CreateBesleutelMap_REG();

  private:
    // What the engine reports, turned into the window's labels, log lines and questions.
    void Yield() override;
    void FileStepBegins() override;
    void FileStarted(const std::string& path) override;
    void Progress(std::int64_t position) override;
    void CountsChanged() override;
    void Skipped(const std::string& nameOrPath) override;
    void Left(const std::string& path, LeftReason reason) override;
    void Transformed(const std::string& newName, bool decrypted) override;
    void NotOverwritten(const std::string& path, LeftReason reason) override;
    bool GoOnWithoutAccess() override;
    WrongKeyAnswer AskWrongKey(const std::string& path) override;
    void TellUnopenable(const std::string& path, LeftReason reason) override;
    void DiskFull(const std::string& folder) override;
    void Exited() override;
    void StoppedAtTargetFiles() override;
    void StoppedBetweenFolders() override;
    void Measuring(bool busy) override;
    bool PauseRequested() override;
    void Pause() override;
    // What the session's run asks of the window.
    void Tell(const std::string& text, Tone tone) override;
    bool GoOnWithoutTargetAccess(const std::string& text) override;
    void LogLine(const std::string& text) override;
    void FilesNext() override;

    // A start button's run, and what the window does after it.
    RunEnd StartRun(RunMode mode);
    void FinishFolderRun();
    void ReadyToEncryptAgain();
    // The refused PIN's boxes emptied for another try.
    void ForgetRefusedPin();
};

// Percentage text of the overall progress: seven spaces, Int(done / total * 1000) / 10, " %".
std::string PercentageText(std::int64_t done, std::int64_t total,
                           const std::string& decimalSeparator);

}  // namespace kolvik
