// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TreeWalk.h"

#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

namespace {

// Bytes of the regular files in folder and in every folder below; links are never followed,
// so never counted.
Fault FolderBytes(const safefile::Folder& folder, std::int64_t& bytes) {
    std::vector<std::string> files, folders;
    if (const Fault f = folder.List(files, folders); f != Fault::None) return f;
    std::int64_t total = 0;
    for (const auto& name : files) {
        safefile::FileFacts facts;
        if (folder.Stat(name, facts) == Fault::None && facts.regular) total += facts.size;
    }
    for (const auto& name : folders) {
        safefile::Folder child;
        std::int64_t below = 0;
        Fault f = child.OpenChild(folder, name);
        if (f == Fault::None) f = FolderBytes(child, below);
        if (f == Fault::IsLink) continue;
        if (f != Fault::None) return f;
        total += below;
    }
    bytes = total;
    return Fault::None;
}

// The files in folder and below it, which a skip word leaves as they are: they count as
// skipped, so that the summary does not claim nothing was left.
std::int64_t FilesBelow(const safefile::Folder& folder) {
    std::vector<std::string> files, folders;
    if (folder.List(files, folders) != Fault::None) return 0;
    auto count = static_cast<std::int64_t>(files.size());
    for (const auto& name : folders) {
        safefile::Folder child;
        if (child.OpenChild(folder, name) == Fault::None) count += FilesBelow(child);
    }
    return count;
}

}  // namespace

TreeWalk::Pass TreeWalk::TransformFilesOf(const FolderPtr& folder) {
    std::vector<std::string> files, folders, scratch;
    std::vector<bool> regular;
    if (folder->List(files, folders, &scratch, &regular) != Fault::None) return Pass::Unlisted;
    for (const auto& name : scratch) folder->RemoveLeftoverScratch(name);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (flags_.StopRequested || flags_.ExitRequested) return Pass::Stopped;
        files_.UseFolder(folder);
        if (decrypting)
            files_.Decrypt(folder->Path(), files[i], regular[i]);
        else
            files_.Encrypt(folder->Path(), files[i], regular[i]);
        // A full disk, or a wrong-key question answered with Cancel, stops the walk here.
        if (flags_.StopRequested) return Pass::Stopped;
        events_.Yield();
    }
    return Pass::Done;
}

void TreeWalk::ProcessTarget(const std::string& target) {
    targetUnlisted_ = false;
    const auto folder = std::make_shared<safefile::Folder>();
    if (folder->Open(target) != Fault::None) {
        report_.targetUnreadable = true;
        return;
    }
    std::int64_t size = 0;
    const Fault sizeFault = FolderBytes(*folder, size);
    if (sizeFault == Fault::None) {
        stats_.TotalBytes = size;
    } else if (sizeFault == Fault::Access || sizeFault == Fault::NotFound) {
        // Part of the tree cannot be read: the scan counts what it can.
        stats_.TotalBytes = MeasureTarget(target);
    }
    events_.Yield();
    if (flags_.StopRequested) {
        std::vector<std::string> files, folders;
        if (folder->List(files, folders) == Fault::None && !files.empty())
            events_.StoppedAtTargetFiles();
        return;
    }
    if (PathHasSkipWord(target)) {
        stats_.FilesSkipped += FilesBelow(*folder);
        files_.LeaveFolder(target, LeftReason::SkipWordFolder);
        return;
    }
    // Taken once, before any file changes: the copies keep their originals' mtimes.
    if (TransformFilesOf(folder) == Pass::Unlisted)
        targetUnlisted_ = report_.targetUnreadable = true;
    files_.CompletePending();
}

void TreeWalk::WalkFolder(const std::string& folder) {
    if (flags_.StopRequested) return;
    // A folder whose files could not be listed is not descended into.
    if (targetUnlisted_) return;
    const auto open = std::make_shared<safefile::Folder>();
    std::vector<std::string> files, subfolders;
    if (open->Open(folder) != Fault::None || open->List(files, subfolders) != Fault::None) {
        report_.targetUnreadable = true;
    } else if (!PathHasSkipWord(folder)) {
        WalkBelow(open);
        return;
    }
    EndOfLevel();
}

void TreeWalk::WalkBelow(const FolderPtr& folder) {
    std::vector<std::string> files, subfolders;
    if (folder->List(files, subfolders) != Fault::None) return;
    for (const auto& sub : subfolders) {
        events_.Yield();
        if (flags_.StopRequested) {
            events_.StoppedBetweenFolders();
            return;
        }
        const auto child = std::make_shared<safefile::Folder>();
        if (const Fault opened = child->OpenChild(*folder, sub); opened != Fault::None) {
            files_.LeaveFolder(JoinPath(folder->Path(), sub), opened == Fault::IsLink
                                                                  ? LeftReason::FolderBecameLink
                                                                  : LeftReason::FolderUnreadable);
            continue;
        }
        if (PathHasSkipWord(child->Path())) {
            stats_.FilesSkipped += FilesBelow(*child);
            files_.LeaveFolder(child->Path(), LeftReason::SkipWordFolder);
            continue;
        }
        const Pass pass = TransformFilesOf(child);
        if (pass == Pass::Stopped) {
            if (flags_.ExitRequested) break;
            files_.CompletePending();
            return;
        }
        // A folder whose files could not be listed is not descended into; a sibling is.
        if (pass == Pass::Unlisted) {
            files_.LeaveFolder(child->Path(), LeftReason::FolderUnreadable);
            continue;
        }
        // The folder's pending originals wait for the group's sync, which may serve the
        // folders after it too.
        WalkBelow(child);
        // Exit was pressed below: nothing more is started.
        if (flags_.ExitRequested) break;
    }
    EndOfLevel();
}

void TreeWalk::EndOfLevel() {
    events_.Yield();
    if (flags_.ExitRequested) {
        files_.CompletePending();
        events_.Exited();
    }
}

std::int64_t TreeWalk::MeasureTarget(const std::string& folder) {
    events_.Measuring(true);
    std::int64_t total = 0;
    safefile::Folder open;
    std::vector<std::string> files, subfolders;
    if (open.Open(folder) == Fault::None && open.List(files, subfolders) == Fault::None) {
        for (const auto& name : files) {
            safefile::FileFacts facts;
            if (open.Stat(name, facts) == Fault::None && facts.regular) total += facts.size;
        }
        for (const auto& name : subfolders) {
            if (NameIsSkipWord(name)) continue;
            safefile::Folder child;
            std::int64_t size = 0;
            // A folder that cannot be measured is left out of the total.
            if (child.OpenChild(open, name) == Fault::None &&
                FolderBytes(child, size) == Fault::None) {
                total += size;
            }
        }
    }
    events_.Measuring(false);
    return total;
}

}  // namespace kolvik
