// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How Kolvik knows its own scratch copies and name claims from a user's files. A file is only
// ever removed as a leftover when it carries the mark of a run that is gone: an xattr holding
// the writing process's id and a random token, or, where the file system keeps no xattrs, a
// scratch name holding a random 128-bit token. A name or an empty file alone proves nothing.
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace kolvik::safefile::mark {

// ".kolvik-tijdel-PID-TOKEN", TOKEN 32 lowercase hex digits drawn afresh.
std::string ScratchName();
// The process id in a name of that form; 0 for any other name.
pid_t ScratchNameOwner(const std::string& name);

// Marks a file this process has just created. False where the file system keeps no xattrs or
// refuses this one; the file is then known only by its entry in the live set (below).
bool Set(int fd);
// Takes the mark off a copy about to be published: a published file is the user's.
void Clear(int fd);

// Files of this process that are still in the making, and those it failed to remove.
void Track(dev_t device, ino_t inode);
void Forget(dev_t device, ino_t inode);
void Orphan(dev_t device, ino_t inode);

// Whether the open file fd (st its status) is a leftover of a run that is gone. scratchOwner
// is ScratchNameOwner of its name: without the xattr mark, only a scratch name with its token
// on a file system that keeps no xattrs qualifies, and then only a plain file (one link) of
// the user running Kolvik.
bool Leftover(int fd, const struct stat& st, pid_t scratchOwner);

}  // namespace kolvik::safefile::mark
