// The walk over a target folder: its own files first, then every folder below it, depth first.
// Only the target is opened by its path; every folder below it is opened from its open parent
// without following links, so that a folder swapped for a link during the run cannot lead the
// run outside its tree.
#include "engine/FileWork.h"
#include "platform/SafeFile.h"
#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {
namespace {

using safefile::Fault;
using FolderPtr = std::shared_ptr<safefile::Folder>;

constexpr int kListingFailed = 92;
constexpr int kDiskFull = 61;

}  // namespace

bool frmKolvik::TransformFilesOf(const FolderPtr& folder) {
    std::vector<std::string> files, folders, scratch;
    if (folder->List(files, folders, &scratch) != Fault::None) {
        LastError = kListingFailed;
        return true;
    }
    for (const auto& name : scratch) folder->RemoveLeftoverScratch(name);
    for (const auto& entry : files) {
        if (StopRequested || ExitRequested) return false;
        LastError = 0;
        Work().walked = folder;
        std::string name = entry;
        if (DecryptMode) DecryptFile(name, folder->Path());
        else EncryptFile(name, folder->Path());
        if (StopRequested) return false;
        if (LastError == kDiskFull) {
            StopRequested = true;
            return false;
        }
        DoEvents();
    }
    LastError = 0;
    return true;
}

void frmKolvik::ProcessTarget(const std::string& target) {
    LastError = 0;
    const auto folder = std::make_shared<safefile::Folder>();
    if (const Fault f = folder->Open(target); f != Fault::None) {
        LastError = f == Fault::Access ? 70 : 76;
        Report.targetUnreadable = true;
        return;
    }
    std::int64_t size = 0;
    const Fault sizeFault = folder->Size(size);
    if (sizeFault == Fault::None) {
        TotalBytes = size;
    } else {
        LastError = safefile::ErrorCode(sizeFault);
        if (sizeFault == Fault::Access || sizeFault == Fault::NotFound) TotalBytes = MeasureTarget(target);
    }
    DoEvents();
    if (StopRequested) {
        std::vector<std::string> files, folders;
        if (folder->List(files, folders) == Fault::None && !files.empty()) {
            lblTijd.text.clear();
            lblFiles.text.clear();
            lblTotalFiles.text.clear();
        }
        return;
    }
    if (PathHasSkipWord(target)) {
        LeaveFolder(target, LeftReason::SkipWordFolder);
        return;
    }
    // Taken once, before any file changes: the copies keep their originals' mtimes.
    TransformFilesOf(folder);
    if (LastError == kListingFailed) Report.targetUnreadable = true;
    FlushPendingOriginals();
}

void frmKolvik::WalkFolder(const std::string& folder) {
    if (StopRequested) return;
    // A folder whose files could not be listed is not descended into.
    if (LastError == kListingFailed) return;
    const auto open = std::make_shared<safefile::Folder>();
    std::vector<std::string> files, subfolders;
    if (open->Open(folder) != Fault::None || open->List(files, subfolders) != Fault::None) {
        Report.targetUnreadable = true;
    } else if (!PathHasSkipWord(folder)) {
        WalkBelow(open);
        return;
    }
    DoEvents();
    if (ExitRequested) {
        LastError = 0;
        FlushPendingOriginals();
        Unload();
    }
}

void frmKolvik::WalkBelow(const FolderPtr& folder) {
    std::vector<std::string> files, subfolders;
    if (folder->List(files, subfolders) != Fault::None) return;
    for (const auto& sub : subfolders) {
        DoEvents();
        if (StopRequested) {
            lblPercentage.text.clear();
            lblTotalFiles.text.clear();
            return;
        }
        const std::string path = JoinPath(folder->Path(), sub);
        const auto child = std::make_shared<safefile::Folder>();
        const Fault opened = child->OpenChild(*folder, sub);
        if (opened != Fault::None) {
            LeaveFolder(path, opened == Fault::IsLink ? LeftReason::FolderBecameLink
                                                      : LeftReason::FolderUnreadable);
            continue;
        }
        if (PathHasSkipWord(child->Path())) {
            LeaveFolder(child->Path(), LeftReason::SkipWordFolder);
            continue;
        }
        if (!TransformFilesOf(child)) {
            if (ExitRequested) break;
            FlushPendingOriginals();
            return;
        }
        // A folder whose files could not be listed is not descended into; a sibling is.
        if (LastError == kListingFailed) {
            LeaveFolder(child->Path(), LeftReason::FolderUnreadable);
            LastError = 0;
            continue;
        }
        // The folder's pending originals wait for the group's sync, which may serve the
        // folders after it too.
        WalkBelow(child);
        // Exit was pressed below: nothing more is started.
        if (ExitRequested) break;
    }
    DoEvents();
    if (ExitRequested) {
        LastError = 0;
        FlushPendingOriginals();
        Unload();
    }
}

std::int64_t frmKolvik::MeasureTarget(const std::string& folder) {
    lblFiles.text = "Omvang volume wordt bepaald, momentje ...";
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
            if (child.OpenChild(open, name) == Fault::None && child.Size(size) == Fault::None) {
                total += size;
            }
        }
    }
    lblFiles.text.clear();
    return total;
}

}  // namespace kolvik
