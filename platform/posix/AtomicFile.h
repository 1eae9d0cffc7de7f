// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small files that must never be seen half-written: the store, desktop entries, actions, and
// the registration's program copy, icon and scripts (through platform/AtomicFile.h).
#include <sys/types.h>

#include <string>
#include <string_view>

#include "platform/AtomicFile.h"

namespace kolvik::posix {

// Writes bytes to a temporary file beside path, syncs it, renames it over path and syncs the
// folder: a reader sees the old file or the new one, never a part. On failure the old file
// stays and no temporary file is left; the folder is created when missing.
[[nodiscard]] FileError WriteFileAtomically(const std::string& path, std::string_view bytes,
                                            mode_t mode);

}  // namespace kolvik::posix
