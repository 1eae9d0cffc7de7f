// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the program joins folders and names, takes extensions and leaves system folders alone.
#include <array>
#include <filesystem>
#include <string>
#include <string_view>

namespace kolvik {

// X:\\rest becomes X:\rest: drops the fourth character when it is a backslash.
std::string FixRootPath(std::string_view path);
// The text after the first "." of a name, or the empty text.
std::string GetExtension(std::string_view name);
// folder + the system's separator ("\" on Windows, "/" elsewhere) + name, without doubling
// the separator of a root folder.
std::string JoinPath(std::string_view folder, std::string_view name);
// Paths are UTF-8 text here; std::filesystem would take a narrow string in Windows' ANSI code
// page, so every conversion goes through these two.
std::filesystem::path FsPath(std::string_view utf8);
std::string Utf8Path(const std::filesystem::path& path);

// $RECYCLE.BIN is the recycle bin of Windows since Vista, as RECYCLER was before it.
inline constexpr std::array<std::string_view, 5> SkipWords = {
    "RECYCLED", "RECYCLER", "System Volume Information", "_RESTORE", "$RECYCLE.BIN"};
// The path test: the folder path contains a skip word anywhere, letter case ignored.
bool PathHasSkipWord(std::string_view folderPath);
// The name test: the folder name equals a skip word as a whole, letter case ignored.
bool NameIsSkipWord(std::string_view folderName);

std::string UpperCase(std::string_view text);

}  // namespace kolvik
