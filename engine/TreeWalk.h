// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The walk over a target folder: its own files first, then every folder below it, depth first.
// Only the target is opened by its path, once for both passes; every folder below it is opened
// from its open parent without following links, so that a folder swapped for a link during the
// run cannot lead the run outside its tree, and no path length limits its depth.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/FileTransformer.h"

namespace kolvik {

class TreeWalk {
  public:
    TreeWalk(FileTransformer& files, RunStats& stats, StopFlags& flags, RunReport& report,
             RunEvents& events)
        : files_(files), stats_(stats), flags_(flags), report_(report), events_(events) {}

    bool decrypting = false;

    // Measures the target and transforms the files directly in it.
    void ProcessTarget(const std::string& target);
    // Transforms the files of every folder below it.
    void WalkFolder(const std::string& folder);
    // The size scan used when a folder's size cannot be read: the files directly in it and
    // every subfolder whose name is no skip word.
    std::int64_t MeasureTarget(const std::string& folder);
    // The target's folders, when the run stops before its second pass walks them.
    void LeaveUnwalked();

  private:
    using FolderPtr = std::shared_ptr<safefile::Folder>;
    enum class Pass { Done, Unlisted, Stopped };
    void WalkBelow(const FolderPtr& top, std::vector<std::string> subfolders);
    // Hands each file of the folder to the per-file operation of the mode; subfolders gets the
    // folders in it, from the same listing.
    Pass TransformFilesOf(const FolderPtr& folder, std::vector<std::string>& subfolders);
    // True when Exit ended the run here.
    bool EndOfLevel();
    // What a stopped walk did not reach is named: the files of the run's kind from first on,
    // and whole folders, never entered.
    void LeaveUnreached(const safefile::Folder& folder, const std::vector<std::string>& files,
                        std::size_t first);
    void LeaveUnentered(const std::vector<std::string>& paths);
    std::int64_t MeasureOpen(const FolderPtr& folder);

    // The target as the first pass opened it, kept for the second.
    FolderPtr target_;

    // The target's files could not be listed: the walk below it does not start either.
    bool targetUnlisted_ = false;
    // The target's folders as the first pass listed them, until the second walks them.
    std::vector<std::string> unwalked_;

    FileTransformer& files_;
    RunStats& stats_;
    StopFlags& flags_;
    RunReport& report_;
    RunEvents& events_;
};

}  // namespace kolvik
