// The walk over a target folder: its own files first, then every folder below it, depth first.
#include <filesystem>

#include "cipher/SafeFile.h"
#include "mainwindow/PathHelpers.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {
namespace {

constexpr int kListingFailed = 92;
constexpr int kDiskFull = 61;

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return std::filesystem::is_directory(path, ec);
}

}  // namespace

void frmKolvik::ProcessTarget(const std::string& target) {
    using safefile::Fault;
    LastError = 0;
    if (!IsFolder(target)) {
        LastError = 76;
        return;
    }
    std::int64_t size = 0;
    const Fault sizeFault = safefile::FolderSize(target, size);
    if (sizeFault == Fault::None) {
        TotalBytes = size;
    } else {
        LastError = safefile::ErrorCode(sizeFault);
        if (sizeFault == Fault::Access || sizeFault == Fault::NotFound) TotalBytes = MeasureTarget(target);
    }
    DoEvents();

    // Taken once, before any file changes: the copies keep their originals' mtimes.
    std::vector<std::string> files, folders;
    if (safefile::ListFolder(target, files, folders) != Fault::None) {
        LastError = kListingFailed;
        return;
    }
    for (const auto& entry : files) {
        if (StopRequested) {
            lblTijd.text.clear();
            lblFiles.text.clear();
            lblTotalFiles.text.clear();
            break;
        }
        std::string name = entry;
        if (DecryptMode) DecryptFile(name, target);
        else EncryptFile(name, target);
        if (StopRequested) break;
        if (LastError == kDiskFull) {
            StopRequested = true;
            break;
        }
        LastError = 0;
        DoEvents();
    }
    FlushPendingOriginals();
}

void frmKolvik::WalkFolder(const std::string& folder) {
    using safefile::Fault;
    if (StopRequested) return;
    // A folder whose files could not be listed is not descended into.
    if (LastError == kListingFailed) return;
    std::vector<std::string> files, subfolders;
    if (IsFolder(folder) && !PathHasSkipWord(folder) &&
        safefile::ListFolder(folder, files, subfolders) == Fault::None) {
        for (const auto& sub : subfolders) {
            DoEvents();
            if (StopRequested) {
                lblPercentage.text.clear();
                lblTotalFiles.text.clear();
                return;
            }
            const std::string path = JoinPath(folder, sub);
            std::vector<std::string> subFiles, below;
            if (safefile::ListFolder(path, subFiles, below) != Fault::None) {
                LastError = kListingFailed;
            } else {
                // Only a failing listing may keep the walk out of a folder; a sibling
                // without files of its own is still walked.
                LastError = 0;
                for (const auto& entry : subFiles) {
                    LastError = 0;
                    std::string name = entry;
                    if (DecryptMode) DecryptFile(name, path);
                    else EncryptFile(name, path);
                    if (StopRequested) {
                        FlushPendingOriginals();
                        return;
                    }
                }
                // The folder's pending originals wait for the group's sync, which may serve
                // the folders after it too.
            }
            WalkFolder(path);
        }
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
    std::vector<std::string> files, subfolders;
    if (safefile::ListFolder(folder, files, subfolders) == safefile::Fault::None) {
        for (const auto& name : files) {
            safefile::FileFacts facts;
            if (safefile::EntryFacts(JoinPath(folder, name), facts) == safefile::Fault::None && facts.regular) {
                total += facts.size;
            }
        }
        for (const auto& name : subfolders) {
            if (NameIsSkipWord(name)) continue;
            std::int64_t size = 0;
            // A folder that cannot be measured is left out of the total.
            if (safefile::FolderSize(JoinPath(folder, name), size) == safefile::Fault::None) total += size;
        }
    }
    lblFiles.text.clear();
    return total;
}

}  // namespace kolvik
