// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Replacing a whole file so that it is never seen half-written: the data goes to a temporary
// file beside it, is synced, renamed over the name and the folder synced. A failure leaves the
// earlier file as it was and no temporary file behind.
#include <string>
#include <string_view>

namespace kolvik {

// Why a file could not be replaced; the registration falls back to the program folder only
// when the place was refused.
enum class FileError { None, DiskFull, Denied, PathNotFound, Other };

// Who may use the file; Windows keeps no such bits.
enum class FileUse { Data, Program };

// The folder is created when missing.
[[nodiscard]] FileError AtomicWrite(const std::string& path, std::string_view bytes, FileUse use);
// The bytes of the file from, read whole: a copy of the running program never shares its blocks.
[[nodiscard]] FileError AtomicCopy(const std::string& from, const std::string& to, FileUse use);

}  // namespace kolvik
