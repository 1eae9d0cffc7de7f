// SPDX-License-Identifier: GPL-3.0-or-later
// The file layer's rules that hold alike on every system, written once for both.
#include "platform/SafeFile.h"

namespace kolvik::safefile {

// Renamed away, replaced or written to by another program, the copy no longer stands for the
// original. An earlier run's copy is held to its times as well: a new file may have been given
// its number meanwhile.
Fault CopyStillThere(const PendingOriginal& p) {
    FileFacts now;
    const std::uint64_t inode = p.copyFile ? p.copyFile->Inode() : p.copyInode;
    if (const Fault f = p.folder->Stat(p.copy, now); f != Fault::None) {
        return f == Fault::NotFound ? Fault::Changed : f;
    }
    if (inode == 0 || now.inode != inode || (p.copySize >= 0 && now.size != p.copySize) ||
        (p.earlierCopy && (now.modified != p.earlierModified || now.changed != p.earlierChanged))) {
        return Fault::Changed;
    }
    return Fault::None;
}

}  // namespace kolvik::safefile
