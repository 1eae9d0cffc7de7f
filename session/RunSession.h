// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One run as the user thinks of it: a target, a mode chosen with the two password entries, the
// run and the report of what it left undone. The main window and kolvik-cli both drive it. It
// shows nothing: every refusal comes back as a value, for each front end to word its own way.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/FileTransformer.h"
#include "engine/RunEvents.h"
#include "engine/TreeWalk.h"
#include "platform/Registry.h"
#include "platform/Services.h"
#include "session/RunFront.h"
#include "session/RunRelay.h"

namespace kolvik {

enum class TargetRefusal { None, NotFound, NoAccess, NotFileOrFolder, NoExtension };
enum class RunMode { Encrypt, Decrypt };
enum class ModeRefusal { None, Unequal, Empty, NotStorable };
// The PIN gate: not asked (no context menu), the code matched, the code was wrong, or no code
// is stored yet and the first three characters of this password become it.
enum class PinCheck { NotAsked, Matches, Refused, FirstRun };

// What a run is asked to do beyond what the session already holds (target, mode, key).
struct RunRequest {
    RunMode mode = RunMode::Encrypt;
    bool log = false;
    std::string logDate;  // the log header's date, in the user's notation
    // A single-file run on another file than the target: the file the window decrypted and
    // offers to encrypt again.
    std::string folder, name;
};
// How a run ended: refused by a guard before any file, a file named on its own done or not,
// a folder run through to its summary or stopped before it.
enum class RunEnd { InstalledPrograms, PinRefused, FileDone, FileNotDone, Finished, Stopped };

class RunSession {
  public:
    // process is read at every use: a front end may fill it in after construction.
    RunSession(RunEvents& events, Clock& clock, Registry& registry, const ProcessFacts& process);
    ~RunSession();  // completes the deletions still pending and wipes the key
    RunSession(const RunSession&) = delete;
    RunSession& operator=(const RunSession&) = delete;

    // The target: a folder, or a file with an extension. Resolved to a full path.
    [[nodiscard]] TargetRefusal TakeTarget(const std::string& path);
    bool HasFileTarget() const { return hasFileTarget_; }
    const std::string& TargetFile() const { return targetFile_; }
    bool HasFolderTarget() const { return hasFolderTarget_; }
    const std::string& TargetFolder() const { return targetFolder_; }
    // A file target allows only the mode that fits its name; a folder, or none, allows both.
    bool ModeAllowed(RunMode mode) const;
    // Whether something still bears the name of the file named on its own: a step that said
    // nothing of it passed it over (Kolvik's own files) rather than finding it gone.
    bool TargetFileThere() const;
    // A file the run reads (its password file) is passed over wherever the run meets it.
    void ProtectInput(const std::string& path);
    // The file or folder named as the target.
    const std::string& TargetPath() const { return hasFileTarget_ ? targetFile_ : targetFolder_; }
    // The folder a run works on: the target folder, or without a target the program's own.
    std::string RunFolder() const;

    // The moment of the choice is kept even when it is refused: files changed after it are
    // left alone. An accepted password becomes the key.
    [[nodiscard]] ModeRefusal ChooseMode(RunMode mode, const std::string& password,
                                         const std::string& confirmation, bool strong);
    const std::string& CipherKey() const { return cipherKey_; }
    bool DecryptMode() const { return decryptMode_; }
    WallClock::time_point ModeTime() const { return modeTime_; }
    bool StrongChosen() const { return strongChosen_; }
    // What new strong files cost to open: a setting, not run state; tests choose cheaper costs
    // that are still read.
    strong::Argon2Cost StrongCost{};

    // A run without a target would work on the program's folder; never when that holds
    // installed programs.
    bool WouldTouchInstalledPrograms() const;
    // While the context-menu entries are installed, anyone who can right-click a file could
    // encrypt it: the first three characters of the first password guard every later run.
    // Decided on what the store holds now (ReadRegistrationNow).
    [[nodiscard]] PinCheck CheckPin(const std::string& password);
    // After FirstRun: stores this password's code, which holds from now on. A code stored by
    // another Kolvik since the check is never overwritten: it decides instead.
    [[nodiscard]] PinCheck StorePin(const std::string& password);
    // The stored form of a password's first three characters, under the fixed transport key;
    // the run's key, like the rest of the session, is left alone.
    std::string PinCode(const std::string& password) const;
    // CheckPin and, on a first run, StorePin, with the front end told: false when refused.
    bool PinGate(const std::string& password, RunFront& front);

    // The registration state as the store holds it, read under the program's registry name.
    // A value that cannot be read leaves its field as it was.
    void ReadRegistration(const std::string& progId);
    // For the guards (the PIN gate, Ctrl+R, the help window): another Kolvik may have
    // registered, stored a PIN or unregistered since the last read, so a value that is gone
    // now empties its field. A store that cannot be read at all keeps what was last read.
    void ReadRegistrationNow(const std::string& progId);
    bool KolRegisterd() const { return kolRegisterd_; }
    const std::string& RegKolExtension() const { return regKolExtension_; }
    const std::string& RegContextMenu() const { return regContextMenu_; }
    const std::string& RegChecksum() const { return regChecksum_; }
    // The registration dialog's choice ("ja" or "nee" each), which the scripts and the
    // registration are written from until the store is read again.
    void ChooseRegistration(const std::string& kolExtension, const std::string& contextMenu);
    // The dialog registered this version: said so until the store is read again.
    void NoteRegistered() { kolRegisterd_ = true; }

    const RunReport& Report() const { return report_; }  // reset when a run starts
    // A line of the activity log could not be written: whether it is the run's first such line,
    // which alone is told.
    bool NoteLogFailed() { return !std::exchange(report_.logFailed, true); }
    const RunStats& Stats() const { return stats_; }
    // Exit: the run stops between two blocks. Stop: the walk stops at its next check. Either
    // stays requested.
    void RequestExit() { flags_.ExitRequested = true; }
    void RequestStop() { flags_.StopRequested = true; }
    bool ExitRequested() const { return flags_.ExitRequested; }
    bool StopRequested() const { return flags_.StopRequested; }

    // Everything a run is, from the guards to the summary: the front end shows what it is told
    // and answers what it is asked. The session's key becomes password.
    RunEnd Run(const RunRequest& request, const std::string& password, RunFront& front);
    // The summary block of the last folder run, however it ended, and its length in seconds.
    const std::vector<std::string>& Summary() const { return summary_; }
    std::int64_t Seconds() const { return seconds_; }

    // Deletes the originals whose copies are named, once those copies are on disk.
    void CompletePending();

  private:
    // The engine's steps, with the session's key, mode and target. name is a file name in
    // folder; the outcome names the new file.
    FileOutcome EncryptOne(const std::string& folder, const std::string& name);
    FileOutcome DecryptOne(const std::string& folder, const std::string& name);
    // The two passes of a folder run: the files directly in the target, then every folder below.
    void TransformTargetFiles(const std::string& target);
    void TransformSubfolders(const std::string& folder);
    // Completes what is pending and closes every file and folder, so that the space of deleted
    // originals comes back at once.
    void ReleaseFiles();
    // ReleaseFiles at the end of a run, however it ended: the engine's keys are wiped too.
    void EndRun();

    void PrepareFiles();
    RunEnd RunFile(const RunRequest& request, RunFront& front);
    RunEnd RunFolder(const RunRequest& request, RunFront& front);
    // The file named on its own was not done: said once, unless the step said it already.
    void TellFileNotDone(RunFront& front);
    bool TargetAccessAllowsGoingOn(RunFront& front);
    void TellNotes(bool log, RunFront& front);

    bool hasFileTarget_ = false, hasFolderTarget_ = false;
    std::string targetFile_, targetFolder_;
    std::string cipherKey_;  // the password: set with ReplaceText (session/SecretText.h)
    bool decryptMode_ = false;
    WallClock::time_point modeTime_{};
    bool strongChosen_ = false;
    bool kolRegisterd_ = false;
    std::string regKolExtension_, regContextMenu_, regChecksum_;
    RunReport report_;
    RunStats stats_;
    StopFlags flags_;

    RunEvents& events_;
    RunRelay relay_;
    Clock& clock_;
    Registry& registry_;
    const ProcessFacts& process_;
    FileTransformer files_;
    TreeWalk walk_;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> runInputs_;
    std::vector<std::string> summary_;
    std::int64_t seconds_ = 0;
    bool accessAsked_ = false;
};

}  // namespace kolvik
