// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fonts, pictures and owner-drawn buttons of the Win32 views.
#include <windows.h>

#include <string>

#include "platform/Form.h"

namespace kolvik::win32 {

// The point size the twips layout was drawn for.
constexpr double kBasePoints = 8.25;

// A control's font at dpi, pointsScale times the base size (a label fitted to its text
// shrinks it). The caller owns the font.
HFONT ControlFont(const Control& control, int dpi, double pointsScale = 1.0);
// Sets a word-wrapping label's font, made smaller step by step (not below 6 points) while
// its text needs more height than the label has. Returns the font, which the caller owns.
HFONT FittedLabelFont(HWND label, const Control& control, int dpi);

// A picture resource (RCDATA named after the picture, a PNG) scaled from 96 dpi to dpi, as a
// 32-bit premultiplied DIB section; nullptr when there is none or it cannot be decoded.
HBITMAP LoadPicture(const std::string& name, int dpi);
// Draws a premultiplied bitmap at x, y, clipped by the device context.
void DrawPicture(HDC dc, HBITMAP bitmap, int x, int y);

// A push button with a picture above its caption, or with a face colour of its own.
void DrawPushButton(const DRAWITEMSTRUCT& item, const std::wstring& caption, HBITMAP picture,
                    COLORREF face, bool customFace, int dpi);

COLORREF ToColorRef(const Rgb& rgb);

}  // namespace kolvik::win32
