// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/FolderStack.h"

#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

FolderStack::FolderStack(FolderPtr top, std::vector<std::string> subfolders) {
    levels_.push_back({{}, 0, 0, std::move(subfolders), 0, std::move(top)});
}

bool FolderStack::NextName(std::string& name) {
    Level& level = levels_.back();
    if (level.next == level.subfolders.size()) return false;
    // Each name is used once: give its memory back as the level goes on.
    name = std::move(level.subfolders[level.next]);
    level.subfolders[level.next++].shrink_to_fit();
    return true;
}

bool FolderStack::MoreAbove() const {
    for (std::size_t i = 0; i + 1 < levels_.size(); ++i)
        if (levels_[i].next < levels_[i].subfolders.size()) return true;
    return false;
}

Fault FolderStack::Deepest(FolderPtr& folder, std::size_t& failed) {
    const std::size_t deepest = levels_.size() - 1;
    std::size_t from = deepest;
    while (!levels_[from].open) --from;  // the top is always open
    FolderPtr at = levels_[from].open;
    for (std::size_t i = from + 1; i <= deepest; ++i) {
        failed = i;
        auto child = std::make_shared<safefile::Folder>();
        if (const Fault f = child->OpenChild(*at, levels_[i].name); f != Fault::None) return f;
        safefile::FileFacts facts;
        if (const Fault f = at->Stat(levels_[i].name, facts); f != Fault::None) return f;
        // Renamed or replaced while closed: the walk does not go on in a folder it never saw.
        if (facts.device != levels_[i].device || facts.inode != levels_[i].inode)
            return Fault::Changed;
        if (i % kKeepOpen == 0 || i == deepest) levels_[i].open = child;
        at = std::move(child);
    }
    folder = at;
    return Fault::None;
}

void FolderStack::Push(FolderPtr child, std::string name, std::vector<std::string> subfolders) {
    Level level{std::move(name), 0, 0, std::move(subfolders), 0, std::move(child)};
    Level& parent = levels_.back();
    safefile::FileFacts facts;
    if (parent.open->Stat(level.name, facts) == Fault::None) {
        level.device = facts.device;
        level.inode = facts.inode;
    }
    // A level without its identity could not be recognised when opened again: it stays open.
    if ((levels_.size() - 1) % kKeepOpen != 0 && parent.inode != 0) parent.open.reset();
    levels_.push_back(std::move(level));
}

std::string FolderStack::DeepestPath() const {
    std::size_t from = levels_.size() - 1;
    while (!levels_[from].open) --from;
    std::string path = levels_[from].open->Path();
    for (std::size_t i = from + 1; i < levels_.size(); ++i) path = JoinPath(path, levels_[i].name);
    return path;
}

std::vector<std::string> FolderStack::Unvisited() const {
    std::vector<std::string> paths;
    std::string path = levels_.front().open->Path();
    for (const Level& level : levels_) {
        if (&level != &levels_.front()) path = JoinPath(path, level.name);
        for (std::size_t i = level.next; i < level.subfolders.size(); ++i)
            paths.push_back(JoinPath(path, level.subfolders[i]));
    }
    return paths;
}

}  // namespace kolvik
