// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/TreeWalk.h"

#include <utility>

#include "engine/FileFormat.h"
#include "engine/FolderStack.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

namespace {

std::int64_t BytesOfFiles(const safefile::Folder& folder, const std::vector<std::string>& files) {
    std::int64_t total = 0;
    for (const auto& name : files) {
        safefile::FileFacts facts;
        if (folder.Stat(name, facts) == Fault::None && facts.regular) total += facts.size;
    }
    return total;
}

// Bytes of the regular files in top and in every folder below (but those that skip names);
// links are never followed, so never counted. Depth first with an explicit stack, so that a
// deep tree costs memory and descriptors in proportion to its depth at most.
[[nodiscard]] Fault FolderBytes(const std::shared_ptr<safefile::Folder>& top, std::int64_t& bytes) {
    std::vector<std::string> files, topFolders;
    if (const Fault f = top->List(files, topFolders); f != Fault::None) return f;
    std::int64_t total = BytesOfFiles(*top, files);
    FolderStack stack(top, std::move(topFolders));
    std::string name;
    while (!stack.Empty()) {
        if (!stack.NextName(name)) {
            stack.Pop();
            continue;
        }
        FolderStack::FolderPtr parent;
        std::size_t failed = 0;
        if (const Fault f = stack.Deepest(parent, failed); f != Fault::None) return f;
        auto child = std::make_shared<safefile::Folder>();
        std::vector<std::string> folders;
        Fault f = child->OpenChild(*parent, name);
        if (f == Fault::None) f = child->List(files, folders);
        // Neither is walked, so neither counts.
        if (f == Fault::IsLink || f == Fault::OtherMount) continue;
        if (f != Fault::None) return f;
        total += BytesOfFiles(*child, files);
        stack.Push(std::move(child), std::move(name), std::move(folders));
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

// Why a folder that could not be opened is left.
LeftReason FolderLeftReason(Fault f) {
    if (f == Fault::IsLink) return LeftReason::FolderBecameLink;
    if (f == Fault::OtherMount) return LeftReason::OtherMount;
    return LeftReason::FolderUnreadable;
}

}  // namespace

TreeWalk::Pass TreeWalk::TransformFilesOf(const FolderPtr& folder,
                                          std::vector<std::string>& subfolders) {
    std::vector<std::string> files, scratch;
    std::vector<bool> regular;
    // Listed once for both its files and its subfolders: a folder that becomes unreadable
    // after its files were done cannot make the walk pass its subfolders by in silence.
    if (folder->List(files, subfolders, &scratch, &regular) != Fault::None) return Pass::Unlisted;
    for (const auto& name : scratch) folder->RemoveLeftoverScratch(name);
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (flags_.StopRequested || flags_.ExitRequested) {
            LeaveUnreached(*folder, files, i);
            return Pass::Stopped;
        }
        files_.UseFolder(folder);
        if (decrypting)
            files_.Decrypt(folder->Path(), files[i], regular[i]);
        else
            files_.Encrypt(folder->Path(), files[i], regular[i]);
        // A full disk, or a wrong-key question answered with Cancel, stops the walk here.
        if (flags_.StopRequested) {
            LeaveUnreached(*folder, files, i + 1);
            return Pass::Stopped;
        }
        if (events_.PauseRequested()) {
            // No lease may be held while the run is stopped: another program's write would wait.
            files_.Release();
            events_.Pause();
        }
        events_.Yield();
    }
    return Pass::Done;
}

void TreeWalk::ProcessTarget(const std::string& target) {
    targetUnlisted_ = false;
    unwalked_.clear();
    // Opened once for both passes: a target swapped for a link between them cannot send the
    // second pass elsewhere.
    target_ = std::make_shared<safefile::Folder>();
    if (target_->Open(target) != Fault::None) {
        target_.reset();
        report_.targetUnreadable = true;
        return;
    }
    const FolderPtr folder = target_;
    std::int64_t size = 0;
    const Fault sizeFault = FolderBytes(folder, size);
    if (sizeFault == Fault::None) {
        stats_.TotalBytes = size;
    } else if (sizeFault == Fault::Access || sizeFault == Fault::NotFound ||
               sizeFault == Fault::Changed) {
        // Part of the tree cannot be read: the scan counts what it can.
        stats_.TotalBytes = MeasureOpen(folder);
    }
    events_.Yield();
    if (flags_.StopRequested) {
        std::vector<std::string> files, folders;
        if (folder->List(files, folders) != Fault::None) return;
        if (!files.empty()) events_.StoppedAtTargetFiles();
        LeaveUnreached(*folder, files, 0);
        for (const auto& name : folders) unwalked_.push_back(JoinPath(target, name));
        LeaveUnwalked();
        return;
    }
    if (PathHasSkipWord(target)) {
        stats_.FilesSkipped += FilesBelow(*folder);
        files_.LeaveFolder(target, LeftReason::SkipWordFolder);
        return;
    }
    // Taken once, before any file changes: the copies keep their originals' mtimes.
    std::vector<std::string> subfolders;
    const Pass pass = TransformFilesOf(folder, subfolders);
    if (pass == Pass::Unlisted) targetUnlisted_ = report_.targetUnreadable = true;
    for (const auto& name : subfolders) unwalked_.push_back(JoinPath(target, name));
    if (pass == Pass::Stopped) LeaveUnwalked();
    files_.CompletePending();
}

void TreeWalk::WalkFolder(const std::string& folder) {
    FolderPtr open = std::move(target_);
    target_.reset();
    if (flags_.StopRequested) return LeaveUnwalked();
    unwalked_.clear();
    // A folder whose files could not be listed is not descended into.
    if (targetUnlisted_) return;
    if (!open || open->Path() != folder) {
        open = std::make_shared<safefile::Folder>();
        if (open->Open(folder) != Fault::None) open.reset();
    }
    std::vector<std::string> files, subfolders;
    if (!open || open->List(files, subfolders) != Fault::None) {
        report_.targetUnreadable = true;
    } else if (!PathHasSkipWord(folder)) {
        WalkBelow(open, std::move(subfolders));
        return;
    }
    EndOfLevel();
}

void TreeWalk::WalkBelow(const FolderPtr& top, std::vector<std::string> subfolders) {
    FolderStack stack(top, std::move(subfolders));
    std::string sub;
    while (!stack.Empty()) {
        if (!stack.NextName(sub)) {
            stack.Pop();
            if (!EndOfLevel()) continue;
            if (!stack.Empty()) LeaveUnentered(stack.Unvisited());
            return;
        }
        events_.Yield();
        if (flags_.StopRequested) {
            events_.StoppedBetweenFolders();
            LeaveUnentered({JoinPath(stack.DeepestPath(), sub)});
            LeaveUnentered(stack.Unvisited());
            return;
        }
        FolderPtr folder;
        std::size_t failed = 0;
        if (const Fault f = stack.Deepest(folder, failed); f != Fault::None) {
            // A folder above was moved or replaced while the walk was below it: what it still
            // held is left, with that folder named once.
            stack.PopTo(failed + 1);
            files_.LeaveFolder(stack.DeepestPath(), FolderLeftReason(f));
            stack.Pop();
            continue;
        }
        const auto child = std::make_shared<safefile::Folder>();
        if (const Fault opened = child->OpenChild(*folder, sub); opened != Fault::None) {
            files_.LeaveFolder(JoinPath(folder->Path(), sub), FolderLeftReason(opened));
            continue;
        }
        folder.reset();
        if (PathHasSkipWord(child->Path())) {
            stats_.FilesSkipped += FilesBelow(*child);
            files_.LeaveFolder(child->Path(), LeftReason::SkipWordFolder);
            continue;
        }
        std::vector<std::string> below;
        const Pass pass = TransformFilesOf(child, below);
        if (pass == Pass::Stopped) {
            for (auto& name : below) name = JoinPath(child->Path(), name);
            LeaveUnentered(below);
            LeaveUnentered(stack.Unvisited());
            if (flags_.ExitRequested) {
                EndOfLevel();
                return;
            }
            files_.CompletePending();
            // Folders above still had subfolders to visit: the walk stops between folders.
            if (stack.MoreAbove()) {
                events_.Yield();
                events_.StoppedBetweenFolders();
            }
            return;
        }
        // A folder whose files could not be listed is not descended into; a sibling is.
        if (pass == Pass::Unlisted) {
            files_.LeaveFolder(child->Path(), LeftReason::FolderUnreadable);
            continue;
        }
        // The folder's pending originals wait for the group's sync, which may serve the
        // folders after it too.
        stack.Push(child, std::move(sub), std::move(below));
    }
}

void TreeWalk::LeaveUnreached(const safefile::Folder& folder, const std::vector<std::string>& files,
                              std::size_t first) {
    for (std::size_t i = first; i < files.size(); ++i) {
        // Only what the run would have transformed: a stop leaves the rest as a finished run
        // would have.
        const std::string& name = files[i];
        if (EndsInKol(name) != decrypting || name == safefile::kRunLockName || IsLogFile(name))
            continue;
        files_.LeaveFolder(JoinPath(folder.Path(), name), LeftReason::NotReached);
    }
}

void TreeWalk::LeaveUnentered(const std::vector<std::string>& paths) {
    for (const auto& path : paths) files_.LeaveFolder(path, LeftReason::NotReached);
}

void TreeWalk::LeaveUnwalked() { LeaveUnentered(std::exchange(unwalked_, {})); }

bool TreeWalk::EndOfLevel() {
    events_.Yield();
    if (!flags_.ExitRequested) return false;
    files_.CompletePending();
    events_.Exited();
    return true;
}

std::int64_t TreeWalk::MeasureTarget(const std::string& folder) {
    const auto open = std::make_shared<safefile::Folder>();
    if (open->Open(folder) != Fault::None) {
        events_.Measuring(true);
        events_.Measuring(false);
        return 0;
    }
    return MeasureOpen(open);
}

std::int64_t TreeWalk::MeasureOpen(const FolderPtr& folder) {
    events_.Measuring(true);
    std::int64_t total = 0;
    std::vector<std::string> files, subfolders;
    if (folder->List(files, subfolders) == Fault::None) {
        total = BytesOfFiles(*folder, files);
        for (const auto& name : subfolders) {
            if (NameIsSkipWord(name)) continue;
            auto child = std::make_shared<safefile::Folder>();
            std::int64_t size = 0;
            // A folder that cannot be measured is left out of the total.
            if (child->OpenChild(*folder, name) == Fault::None &&
                FolderBytes(child, size) == Fault::None) {
                total += size;
            }
        }
    }
    events_.Measuring(false);
    return total;
}

}  // namespace kolvik
