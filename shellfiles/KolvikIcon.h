// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's icon, drawn in code so that installing needs no file beside the program.
#include <string>

namespace kolvik {

// A 256 x 256 RGBA PNG.
std::string KolvikIconPng();
// The same picture size x size (1 to 256), for the icon theme's smaller sizes.
std::string KolvikIconPng(int size);
// The same picture as a Windows icon file (one PNG-compressed image).
std::string KolvikIconIco();

}  // namespace kolvik
