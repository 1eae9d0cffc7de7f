// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a run tells the one who started it, and the few things it asks. The engine knows no
// window and no message text; the main window turns these into its labels, log lines and
// message boxes, kolvik-cli into lines on a terminal.
#include <cstdint>
#include <string>

#include "engine/LeftReason.h"

namespace kolvik {

// The counters of one run.
struct RunStats {
    std::int64_t FilesDone = 0, FilesSkipped = 0, BytesDone = 0;
    std::int64_t TotalBytes = 0;  // the target's size, for the overall percentage
    std::int64_t FileBytes = 0;   // the size of the file in work
};

// ExitRequested: stop between two blocks, the file in work untouched. StopRequested: the walk
// stops at its next check; once set it stays set.
struct StopFlags {
    bool StopRequested = false;
    bool ExitRequested = false;
};

// What one run left undone, for a caller that must tell success from failure without reading
// message texts.
struct RunReport {
    std::int64_t left = 0;       // files (and skip-word folders) left in their old form
    std::int64_t wrongKeys = 0;  // files the password did not open
    bool pinRefused = false;
    bool passwordRefused = false;     // empty, unequal or not storable: nothing ran
    bool stoppedOnWrongKey = false;   // a wrong-key question answered with Cancel
    bool diskFull = false;            // the run stopped on a full disk
    bool targetUnreadable = false;    // the target folder itself could not be opened or listed
    bool logFailed = false;           // a line of the activity log could not be written
    std::int64_t notOverwritten = 0;  // originals deleted without their bytes overwritten
    bool oldBlocksTold = false;       // said once per run: not a failure
    bool sharedTold = false;          // said once per run; its files count in left
};

// What a run says once of the file system it met, beside the files it names.
enum class FileSystemNote {
    // Writes anew rather than over old blocks (copy-on-write): overwriting an original
    // cannot reach its bytes.
    OldBlocksKept,
    // Another machine or mount may change files there unseen: the run leaves them.
    Shared,
};

enum class WrongKeyAnswer { GoOn, Stop };

class RunEvents {
  public:
    virtual ~RunEvents() = default;
    // Lets pending events run; the stop flags may be set afterwards.
    virtual void Yield() = 0;
    // A per-file operation starts on a file (before any test).
    virtual void FileStepBegins() = 0;
    // The file about to be transformed, by its full path.
    virtual void FileStarted(const std::string& path) = 0;
    // After data passes 1001, 2001, ... of the file in work, with the position the byte loop
    // reports.
    virtual void Progress(std::int64_t position) = 0;
    // The counters changed.
    virtual void CountsChanged() = 0;
    // A file or folder counted as skipped: the log's "SKIP " line.
    virtual void Skipped(const std::string& nameOrPath) = 0;
    // A file or folder that the run set out to transform and left in its old form.
    virtual void Left(const std::string& path, LeftReason reason) = 0;
    // A file was transformed into newName (in the same folder).
    virtual void Transformed(const std::string& newName, bool decrypted) = 0;
    // A file encrypted in the strong format whose original is gone without its bytes
    // overwritten; reason is LeftReason::NotOverwritten or NotOverwrittenInUse.
    virtual void NotOverwritten(const std::string& path, LeftReason reason) = 0;
    // Once per run and note: folder lies on such a file system (fileSystem, as "btrfs").
    virtual void FileSystemNoted(FileSystemNote, const std::string& /*folder*/,
                                 const std::string& /*fileSystem*/) {}
    // The file's size could not be read for lack of rights: false ends the program.
    virtual bool GoOnWithoutAccess() = 0;
    // A folder run asks whether to go on after a file that the password did not open.
    virtual WrongKeyAnswer AskWrongKey(const std::string& path) = 0;
    // A file named on its own could not be opened: WrongKey or Damaged.
    virtual void TellUnopenable(const std::string& path, LeftReason reason) = 0;
    virtual void DiskFull(const std::string& folder) = 0;
    // Exit was honoured: the file in work is untouched and the window is to close.
    virtual void Exited() = 0;
    // The walk stopped: before the target's files, or between two folders.
    virtual void StoppedAtTargetFiles() = 0;
    virtual void StoppedBetweenFolders() = 0;
    // The size scan that stands in for an unreadable folder size starts or ends.
    virtual void Measuring(bool busy) = 0;
    // Asked between two files, with no file in work: whether the run should let itself be
    // suspended now, after everything pending is completed and every file closed.
    virtual bool PauseRequested() { return false; }
    // Suspends the run; returns when it may go on.
    virtual void Pause() {}
};

}  // namespace kolvik
