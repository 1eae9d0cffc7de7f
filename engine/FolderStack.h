// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The folders from a walk's top down to the one in work, each with the subfolders it still has
// to visit. Memory grows with the depth, not with its square: a level keeps only its name and
// its remaining subfolders' names. Descriptors stay bounded too: only every kKeepOpen-th level
// (and the deepest) stays open; a closed level is opened again from the nearest open one above
// it, by name and without following links, and must still be the folder it was.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/SafeFile.h"

namespace kolvik {

class FolderStack {
  public:
    using FolderPtr = std::shared_ptr<safefile::Folder>;
    static constexpr std::size_t kKeepOpen = 64;

    FolderStack(FolderPtr top, std::vector<std::string> subfolders);

    bool Empty() const { return levels_.empty(); }
    std::size_t Depth() const { return levels_.size(); }
    // Takes the deepest level's next subfolder; false when it has none left.
    bool NextName(std::string& name);
    // True while a level above the deepest still has subfolders to visit.
    bool MoreAbove() const;
    // The deepest level's folder, opened again if it was closed; Fault::Changed when the name
    // now holds another folder. On a fault, failed is the depth of the level that could not
    // be opened again (its levels below are gone with it).
    [[nodiscard]] safefile::Fault Deepest(FolderPtr& folder, std::size_t& failed);
    // Enters child, opened from the deepest level under name, with its subfolders to visit.
    void Push(FolderPtr child, std::string name, std::vector<std::string> subfolders);
    void Pop() { levels_.pop_back(); }
    void PopTo(std::size_t depth) { levels_.resize(depth); }
    // The deepest level's path, also while it is closed.
    std::string DeepestPath() const;
    // Every subfolder still to visit, at every level, by its path: what a stopped walk leaves.
    std::vector<std::string> Unvisited() const;

  private:
    struct Level {
        std::string name;
        std::uint64_t device = 0, inode = 0;  // as first opened; 0 for the top
        std::vector<std::string> subfolders;
        std::size_t next = 0;
        FolderPtr open;
    };
    std::vector<Level> levels_;
};

}  // namespace kolvik
