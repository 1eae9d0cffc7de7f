// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The file layer's rules that hold alike on every system, for the file layers alone: the
// engine sees files only through SafeFile.h.
#include <cstddef>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "platform/SafeFile.h"

namespace kolvik::safefile {

// Whether a and b describe the same file: the same number on the same device (volume).
[[nodiscard]] bool SameFile(const FileFacts& a, const FileFacts& b);

// Whether a file just opened, as now describes it, is the one described names: a regular file,
// and where described names one already (inode not 0), that very file.
[[nodiscard]] bool OpenedAsDescribed(const FileFacts& now, const FileFacts& described);

// Whether the file now described is still the one read, unchanged. Replaced (an editor saving
// under the same name), appended to, truncated or rewritten, it no longer holds what its copy
// holds, and must not go.
[[nodiscard]] bool UnchangedSince(const FileFacts& now, const FileFacts& read);

// Whether the copy that is to replace p's original is still under its name, the very file that
// was written or checked: Fault::Changed if not. Asked right before the original goes.
[[nodiscard]] Fault CopyStillThere(const PendingOriginal& p);

// Whether p's copy goes again now that its original stayed with removal: it is then redundant,
// and may not even be complete. A copy that this run did not write is not ours to take away,
// and one whose original is gone (taken away by someone else meanwhile) is all that is left.
[[nodiscard]] bool CopyGoesAgain(const PendingOriginal& p, Fault removal);

// On a journalling file system each deletion may wait for the journal; several in flight share
// those waits, which makes a group of small files many times quicker to finish.
inline constexpr std::size_t kDeletionsPerShare = 16;

// Splits [0, count) into shares of about perShare items, at most eight, and runs share(first,
// last) for each on the crew.
void InShares(Crew& crew, std::size_t count, std::size_t perShare,
              const std::function<void(std::size_t first, std::size_t last)>& share);

// A folder's entries as a listing meets them, handed out by name in the byte order of UTF-8,
// as on every system. The lists are emptied first; folders and scratch copies go to theirs at
// once.
class Listing {
  public:
    Listing(std::vector<std::string>& files, std::vector<std::string>& folders,
            std::vector<std::string>* scratch, std::vector<bool>* regular);
    void AddFolder(std::string name) { folders_.push_back(std::move(name)); }
    void AddScratch(std::string name) {
        if (scratch_ != nullptr) scratch_->push_back(std::move(name));
    }
    // regular: whether the listing itself showed a regular file.
    void AddFile(std::string name, bool regular) { found_.emplace_back(std::move(name), regular); }
    // Sorts the files and folders into their lists.
    void Finish();

  private:
    std::vector<std::string>& files_;
    std::vector<std::string>& folders_;
    std::vector<std::string>* scratch_;
    std::vector<bool>* regular_;
    std::vector<std::pair<std::string, bool>> found_;
};

}  // namespace kolvik::safefile
