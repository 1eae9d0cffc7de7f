// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The per-file operations: one file encrypted or decrypted in place through the safe publish
// sequence, its pass-over tests, and the grouped deletion of originals.
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "engine/RunEvents.h"
#include "engine/StrongFormat.h"
#include "engine/Transform.h"
#include "platform/SafeFile.h"

namespace kolvik {

class EarlierCopy;
class FormatFile;

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

// Pending deletions are completed in groups this large at most.
inline constexpr std::size_t kPendingFiles = 256;
inline constexpr std::int64_t kPendingBytes = std::int64_t{64} << 20;
// A group may span folders; each keeps a handle open until the group's sync.
inline constexpr std::size_t kPendingFolders = 64;
// A copy this large is synced on its own; the group sync is for many small ones.
inline constexpr std::int64_t kSyncAlone = std::int64_t{8} << 20;

class FileTransformer {
  public:
    struct Settings {
        std::string key;
        WallClock::time_point modeTime{};  // files modified at or after it are left alone
        bool singleFile = false;           // one file named on the command line
        std::string exeName;               // the running program, passed over without trace
        bool strong = false;               // encrypt in the strong format; decryption reads both
        // What new strong files cost to open: tests write cheaper ones, within what is read.
        strong::Argon2Cost strongCost{};
        // Kolvik's programs here are passed over quietly; files named alike elsewhere are
        // reported as left.
        std::string programFolder;
        // The files this run reads (its password file), by device and inode: never transformed,
        // whatever their names, so that a tree cannot be locked with its own key inside.
        std::vector<std::pair<std::uint64_t, std::uint64_t>> runInputs;
        // How long a folder that another run holds is waited for before its files are left.
        std::chrono::milliseconds folderPatience{2000};
    };

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
    // Deletes the originals whose copies are named, once those copies are on disk.
    void CompletePending();
    // Completes what is pending and closes every file and folder, so that the space of
    // deleted originals comes back at once; the deletion threads end too.
    void Release();
    // Release, and the run's keys, the passwords they came from and the key are wiped. Called
    // once a run is over, however it ended; Release alone comes between its two passes.
    void EndRun();

  private:
    struct Work;
    struct CopyJob;
    struct Attempt;
    // The opening both directions share: the folder claimed, the file looked at and sorted.
    // True when the file is one to transform; otherwise it is already dealt with.
    bool Admit(const std::string& folder, const std::string& name, bool listedRegular,
               bool encrypting);
    // entered: whether the folder could be claimed; a file of a folder that could not is still
    // sorted as ever, and only left once it would be transformed.
    bool LookedAt(const std::string& folder, const std::string& name, bool listedRegular,
                  bool encrypting, safefile::Fault& entered);
    bool Sorted(const std::string& folder, const std::string& name, bool encrypting,
                safefile::Fault entered);
    [[nodiscard]] safefile::Fault EnterFolder(const std::string& folder);
    // Opens the file at once where that is safe and worth it, else looks at it; work_->facts
    // then describe it. An open file that is not needed after all is closed by the caller.
    [[nodiscard]] safefile::Fault LookAt(const std::string& name, bool ofThisKind,
                                         bool listedRegular);
    // True when the file is left alone by the tests that both directions share.
    bool PassedOver(const std::string& name, const std::string& folder, bool ofThisKind);
    bool IsProgramFolder(std::string folder) const;
    void SkipOtherKind(const std::string& name);
    // Opens the original for the copy, leased where the system has leases. False when the file
    // is left.
    bool HoldOriginal(const std::string& folder, const std::string& name);
    // Reads the first block of an encrypted file, its header included, into the buffer.
    [[nodiscard]] safefile::Fault ReadFirstBlock(std::size_t& got);
    // sealed: the encrypted side is in a sealed format (Format::Sealed). preloaded: data bytes
    // already read into the buffer with the header, [first, first + size), all there is when ended.
    FileOutcome Transform(const std::string& name, const std::string& newName, FormatFile& file,
                          bool encrypting, bool sealed, std::size_t preloadedFirst = 0,
                          std::size_t preloadedSize = 0, bool ended = false);
    // Transform's steps: write the copy (making room once if the disk is full), or recognise an
    // interrupted run's finished copy under the new name; then schedule the original's deletion.
    Attempt WriteWithRoom(const CopyJob& job, std::size_t first, std::size_t preloaded);
    Attempt TryOnce(const CopyJob& job, std::size_t first, std::size_t preloaded);
    Attempt WriteCopy(const CopyJob& job, std::size_t first, std::size_t preloaded);
    Attempt MatchEarlier(const CopyJob& job);
    bool MatchBytes(const CopyJob& job, EarlierCopy& earlier, Attempt& a);
    StreamEnd StreamCopy(const CopyJob& job, const BlockSink& sink, Attempt& a, std::size_t first,
                         std::size_t preloaded);
    StreamHooks Hooks(bool withProgress);
    // The copy did not come about: the original stays, and the outcome says why.
    std::optional<FileOutcome> Unwritten(const CopyJob& job, const Attempt& a);
    void ScheduleDeletion(const CopyJob& job, Attempt& a);
    void TellIfOldBlocksKept();
    // False when completing the group left this file's original after all.
    bool CompleteGroupIfDue();
    // A file the password did not open, or that is damaged: told, counted and left as it is.
    FileOutcome Refuse(const std::string& folder, const std::string& name, LeftReason unopenable);
    // True when newName holds this file's sealed copy from an earlier run.
    bool MatchSealedCopy(const CopyJob& job, EarlierCopy& earlier, Attempt& a);
    // Opens the copy's header with the password into file; the copy is then at its data.
    bool OpensAsCopy(const CopyJob& job, EarlierCopy& earlier, std::unique_ptr<FormatFile>& file,
                     safefile::Fault& fault);
    bool SameAsOriginal(EarlierCopy& earlier, FormatFile& file, safefile::Fault& fault,
                        bool& stopped);

    RunStats& stats_;
    StopFlags& flags_;
    RunReport& report_;
    RunEvents& events_;
    std::unique_ptr<Work> work_;
};

// Why a file is left as it is, from what the file layer said.
LeftReason ReasonOf(safefile::Fault fault);

}  // namespace kolvik
