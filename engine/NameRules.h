// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Rules for file names that depend on the system the names live on. Windows ignores letter
// case in names, gives some names to devices and separates folders with "\"; trees move
// between the systems, so each rule is kept for both and chosen by kWindowsNames.
#include <string_view>

namespace kolvik {

#ifdef _WIN32
inline constexpr bool kWindowsNames = true;
#else
inline constexpr bool kWindowsNames = false;
#endif
inline constexpr char kSeparator = kWindowsNames ? '\\' : '/';

// ASCII letters only: the comparisons here are of fixed ASCII words.
bool EqualsAnyCase(std::string_view a, std::string_view b);
bool EndsWithAnyCase(std::string_view text, std::string_view ending);

// Kolvik's own files, which a run on its program folder must never touch: the programs, the
// uninstaller, the icon and the log. Letter case is ignored, as Windows ignores it.
bool IsProgramFile(std::string_view name, std::string_view exeName, bool windows = kWindowsNames);
// The texts that come with the program (README.md, LICENSE): its own only beside it.
bool IsProgramCompanion(std::string_view name);
bool IsLogFile(std::string_view name);

// A name Windows takes for a device (CON, PRN, AUX, NUL, COM1-9, LPT1-9, with any extension and
// any case), or one ending in a dot or a space, which Windows strips: opening it reaches
// something other than the file of that name.
bool IsReservedOnWindows(std::string_view name);

}  // namespace kolvik
