// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing zeros over a file's bytes before its blocks are freed, so that what it held cannot be
// read back from the device. Every call goes through the FileCalls table.
#include <sys/types.h>

#include <string_view>

#include "platform/SafeFile.h"

namespace kolvik::safefile::wipe {

// Overwrites the data of the open file fd up to size (the holes of a sparse file stay holes);
// Zero makes that durable too.
[[nodiscard]] Fault ZeroData(int fd, off_t size);
[[nodiscard]] Fault Zero(int fd, off_t size);
// The file behind the read-only descriptor reader, whose name is gone. It is overwritten only
// where a write lease proves that no other program has it open or mapped (Fault::InUse
// otherwise) and it has no more than hidden names left (Fault::Exists: another name shows
// it). reader is closed on the way. Overwritten, it stays open as writer, its zeros not yet
// durable: the caller syncs them, one sync for many files, before it closes writer and with
// it frees the blocks.
[[nodiscard]] Fault ZeroNameless(int& reader, nlink_t hidden, int& writer);
// The file name in the folder dir, while it is still the file inode, and only name shows it.
[[nodiscard]] Fault ZeroNamed(int dir, const char* name, ino_t inode);
// The name of a file system type (statfs's f_type) that writes new blocks rather than over the
// old ones; empty for the others.
std::string_view OldBlocksKeeper(long type);

}  // namespace kolvik::safefile::wipe
