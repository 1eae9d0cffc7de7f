#pragma once
// What the per-file operations keep between files of one window: the folder in work, the
// originals whose deletion waits for one sync (with their folders), the source of the file in
// work and one buffer.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SafeFile.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {

struct frmKolvik::FileWork {
    std::shared_ptr<safefile::Folder> folder = std::make_shared<safefile::Folder>();
    // The open folder whose files the walk hands over now: a file is reached through it,
    // never again through its path.
    std::shared_ptr<safefile::Folder> walked;
    std::vector<safefile::PendingOriginal> pending;
    std::int64_t pendingBytes = 0;
    std::size_t pendingFolders = 0;
    safefile::FileFacts facts;  // of the file in work
    safefile::Source source;
    std::vector<std::uint8_t> buffer;
};

// Pending deletions are completed in groups this large at most.
inline constexpr std::size_t kPendingFiles = 256;
inline constexpr std::int64_t kPendingBytes = std::int64_t{64} << 20;
// A group may span folders; each keeps a handle open until the group's sync.
inline constexpr std::size_t kPendingFolders = 64;
// A copy this large is synced on its own; the group sync is for many small ones.
inline constexpr std::int64_t kSyncAlone = std::int64_t{8} << 20;

// Opens folder for work; what is pending elsewhere waits for the group's sync.
safefile::Fault EnterFolder(frmKolvik& form, const std::string& folder);

// Why a file is left as it is, from what the file layer said.
LeftReason ReasonOf(safefile::Fault fault);

}  // namespace kolvik
