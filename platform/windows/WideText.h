// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// UTF-8 inside the program, UTF-16 at every Windows call.
#include <string>

namespace kolvik::win {

std::wstring Wide(const std::string& utf8);
std::string Utf8(const std::wstring& wide);
std::string Utf8(const wchar_t* wide);

}  // namespace kolvik::win
