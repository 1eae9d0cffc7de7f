// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a copy must carry over from its original beside owner, mode and times, as `cp -a`
// does: every extended attribute the process may set (POSIX ACLs and file capabilities are
// among them) and the inode flags that a new file can be given.
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/SafeFile.h"

namespace kolvik::safefile {

struct KeptExtras {
    std::vector<std::pair<std::string, std::string>> xattrs;  // name, value
    unsigned flags = 0;    // those of kKeptFlags the original has
    bool fixed = false;    // immutable or append-only: the original cannot be replaced
    bool complete = true;  // false when reading them failed: the copy could not keep them
};

namespace kept {

// The inode flags a copy keeps: s u c S d A m C. Immutable and append-only cannot be set on a
// file that is still to be written; the rest is the file system's own bookkeeping.
extern const unsigned kKeptFlags;

// What the open original carries; null when it carries nothing to keep.
std::shared_ptr<const KeptExtras> Read(int fd);
// Whether a file made in the folder takes on a default ACL.
bool GivesAcl(int folder);
// Gives them to the copy; Fault::Unkeepable when one cannot be given that `cp -a` would not
// pass over in silence either. folderGivesAcl: the copy may carry an ACL its original lacks.
[[nodiscard]] Fault Apply(int fd, const KeptExtras* extras, bool folderGivesAcl);

}  // namespace kept
}  // namespace kolvik::safefile
