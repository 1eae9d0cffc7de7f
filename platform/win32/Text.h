// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Model texts are UTF-8; the W functions take UTF-16.
#include <string>

namespace kolvik::win32 {

std::wstring Wide(const std::string& text);
std::string Utf8(const std::wstring& text);

}  // namespace kolvik::win32
