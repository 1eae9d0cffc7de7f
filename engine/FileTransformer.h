// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-file operations: one file encrypted or decrypted in place, step by step: its folder
// claimed, the file sorted (PassOver), its copy attempted (CopyAttempt) and its original handed
// to the deletion groups (DeletionGroups).
#include <memory>
#include <optional>
#include <string>

#include "engine/LeftFiles.h"
#include "engine/RunEvents.h"
#include "engine/TransformSettings.h"
#include "platform/SafeFile.h"

namespace kolvik {

class FormatFile;
struct CopyAttempt;
struct CopyJob;
struct CopyTools;

enum class FileResult {
    Done,
    NotDone,     // passed over, skipped or left; already counted and reported
    Stopped,     // Exit: the file is untouched and the window closes
    Unopenable,  // a file named on its own that the password (or its damage) did not open
};

struct FileOutcome {
    FileResult result = FileResult::NotDone;
    std::string newName;  // Done: the name in the same folder
};

class FileTransformer {
  public:
    using Settings = TransformSettings;

    FileTransformer(RunStats& stats, StopFlags& flags, RunReport& report, RunEvents& events);
    ~FileTransformer();
    FileTransformer(const FileTransformer&) = delete;
    FileTransformer& operator=(const FileTransformer&) = delete;

    Settings settings;

    // listedRegular: the folder's listing showed a regular file, which may then be opened
    // before anything else is asked about it.
    FileOutcome Encrypt(const std::string& folder, const std::string& name,
                        bool listedRegular = false);
    FileOutcome Decrypt(const std::string& folder, const std::string& name,
                        bool listedRegular = false);

    // The walk hands over the open folder whose files follow: they are reached through it,
    // never again through its path.
    void UseFolder(std::shared_ptr<safefile::Folder> folder);
    // Counts and reports a file left in its old form.
    void Leave(const std::string& folder, const std::string& name, LeftReason reason);
    // Reports a folder that the run did not enter; its files are not counted one by one.
    void LeaveFolder(const std::string& path, LeftReason reason);
    // Deletes the originals whose copies are named, once those copies are on disk; a group
    // completed in the background is waited for first, and what it left is told.
    void CompletePending();
    // Completes what is pending and closes every file and folder, so that the space of
    // deleted originals comes back at once; the deletion threads end too.
    void Release();
    // Release, and the run's keys, the passwords they came from and the key are wiped. Called
    // once a run is over, however it ended; Release alone comes between its two passes.
    void EndRun();

  private:
    struct Work;
    // The opening both directions share: the folder claimed, the file looked at and sorted.
    // True when the file is one to transform; otherwise it is already dealt with.
    bool Admit(const std::string& folder, const std::string& name, bool listedRegular,
               bool encrypting);
    // entered: whether the folder could be claimed (see JudgeFile).
    bool LookedAt(const std::string& folder, const std::string& name, bool listedRegular,
                  bool encrypting, safefile::Fault entered);
    bool Sorted(const std::string& folder, const std::string& name, bool encrypting,
                safefile::Fault entered);
    [[nodiscard]] safefile::Fault EnterFolder(const std::string& folder);
    // Opens the file at once where that is safe and worth it, else looks at it; work_->facts
    // then describe it. An open file that is not needed after all is closed by the caller.
    [[nodiscard]] safefile::Fault LookAt(const std::string& name, bool ofThisKind,
                                         bool listedRegular);
    void SkipOtherKind(const std::string& name);
    // Opens the original for the copy, leased where the system has leases. False when the file
    // is left.
    bool HoldOriginal(const std::string& folder, const std::string& name);
    // sealed: the encrypted side is in a sealed format (Format::Sealed). preloaded: data bytes
    // already read into the buffer with the header, [first, first + size), all there is when ended.
    FileOutcome Transform(const std::string& name, const std::string& newName, FormatFile& file,
                          bool encrypting, bool sealed, std::size_t preloadedFirst = 0,
                          std::size_t preloadedSize = 0, bool ended = false);
    // Transform's steps: write the copy (making room once if the disk is full), or recognise an
    // interrupted run's finished copy under the new name; then schedule the original's deletion.
    CopyAttempt WriteWithRoom(const CopyTools& tools, const CopyJob& job, std::size_t first,
                              std::size_t preloaded);
    // The copy did not come about: the original stays, and the outcome says why.
    std::optional<FileOutcome> Unwritten(const CopyJob& job, const CopyAttempt& a);
    void ScheduleDeletion(const CopyJob& job, CopyAttempt a);
    // False when completing the group left this file's original after all (single files; a
    // full group of a walk is completed in the background).
    bool CompleteGroupIfDue();
    // A file the password did not open, or that is damaged: told, counted and left as it is.
    FileOutcome Refuse(const std::string& folder, const std::string& name, LeftReason unopenable);
    // Leave, for the steps that end with the file's outcome.
    FileOutcome Left(const std::string& folder, const std::string& name, LeftReason reason);

    RunStats& stats_;
    StopFlags& flags_;
    RunReport& report_;
    RunEvents& events_;
    LeftFiles left_;
    std::unique_ptr<Work> work_;
};

}  // namespace kolvik
