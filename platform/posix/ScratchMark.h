// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How Kolvik knows its own scratch copies and name claims from a user's files. A file is only
// ever removed as a leftover when it carries the mark of a run that is gone. A scratch copy's
// mark is an xattr holding the writing process's id and a random token or, where the file
// system keeps no xattrs, its name holding a random 128-bit token. A claim holds the process's
// id and token as its content, as claims are made where xattrs are rare (FAT, exFAT). A name or
// an empty file alone proves nothing.
#include <sys/stat.h>
#include <sys/types.h>

#include <string>

namespace kolvik::safefile::mark {

// ".kolvik-tijdel-PID-TOKEN-NAME": TOKEN 32 lowercase hex digits drawn afresh, NAME 16 that
// stand for the name the copy is to get. A run killed while it claims that name leaves its
// scratch copy beside the claim, and the claim may still be empty then: the scratch name tells
// which empty file is that claim.
std::string ScratchName(const std::string& newName);
// The process id in a name of that form; 0 for any other name.
pid_t ScratchNameOwner(const std::string& name);
// The digits that stand for newName in its scratch copy's name.
std::string NameDigits(const std::string& newName);

// Marks a file this process has just created. False where the file system keeps no xattrs or
// refuses this one; the file is then known only by its entry in the live set (below).
bool Set(int fd);
// Takes the mark off a copy about to be published: a published file is the user's.
void Clear(int fd);

// Files of this process that are still in the making, and those it failed to remove.
void Track(dev_t device, ino_t inode);
void Forget(dev_t device, ino_t inode);
void Orphan(dev_t device, ino_t inode);

// What a claim of a new name holds: "kolvik-claim PID-TOKEN\n".
std::string ClaimContent();
// Whether the open file fd (st its status), found where a copy is to be named, is a claim of a
// run that is gone.
bool LeftoverClaim(int fd, const struct stat& st);

// Whether the open file fd (st its status) is a leftover of a run that is gone. scratchOwner
// is ScratchNameOwner of its name: without the xattr mark, only a file of the user running
// Kolvik qualifies, and only where the file system keeps no xattrs, or where it is still empty
// (created, not yet marked).
bool Leftover(int fd, const struct stat& st, pid_t scratchOwner);

}  // namespace kolvik::safefile::mark
