// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows takes names and paths as UTF-16; the program keeps them as UTF-8.
#include <string>

namespace kolvik::windows {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
// path as a full \\?\ path with "\" between its parts, so that no 260-character limit applies
// ("C:/a/../b" becomes "\\?\C:\b", "\\server\share" "\\?\UNC\server\share").
std::wstring LongPath(const std::string& path);

}  // namespace kolvik::windows
