// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Appending to the activity log. The file is opened for each call, never through a symbolic
// link or reparse point: a link planted where the log belongs cannot make a run with more
// rights than its planter append to another file. Anything but a regular file is refused.
#include <string>
#include <string_view>

namespace kolvik {

// Creates path when missing and appends bytes (none: only creates); false when the file could
// not be opened as a regular file or not all bytes were written (a full disk, a size limit).
[[nodiscard]] bool AppendToFile(const std::string& path, std::string_view bytes);

}  // namespace kolvik
