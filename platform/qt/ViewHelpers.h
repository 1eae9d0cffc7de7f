// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small conversions between the form model and Qt widgets, kept apart so they can be
// tested without a window.
#include <QFont>
#include <QIcon>
#include <QLabel>
#include <QLine>
#include <QPixmap>
#include <QRect>
#include <QString>
#include <string>

#include "platform/Form.h"

namespace kolvik::qt {

// 15 twips are one pixel at 96 dpi; Qt scales pixels for high-dpi screens itself.
constexpr int kTwipsPerPixel = 15;
int TwipsToPixels(int twips);

// Pixel rectangle of a control. Edges are rounded, not sizes, so that controls which
// touch in twips touch on screen as well.
QRect ControlRect(const Twips& place);

// Where a line widget goes and the line inside it, in the widget's own coordinates.
struct LineShape {
    QRect rect;
    QLine line;
};
LineShape LineGeometry(const Control& line);

// Key codes and shift bits in the form the handlers expect (virtual-key codes;
// kShift | kCtrl | kAlt). Keys the handlers never test map to 0.
int WindowsKeyCode(int qtKey);
int ShiftState(Qt::KeyboardModifiers modifiers);

// Model texts are UTF-8 and may hold "\r\n" line breaks.
QString ToQString(const std::string& text);

// The decorative face for FontFace::Script, or an empty name when the system has none.
QString ScriptFamily();
// The plain face of the windows, or an empty name to keep the desktop's own.
QString SansFamily();
QFont ControlFont(const Control& control, const QFont& base);
// Sets font on a word-wrapping label, made smaller step by step (not below 6 points) while
// the label's text needs more height than the label has.
void FitLabelFont(QLabel& label, QFont font);

// A picture resource by name ("block", "exit"); a null pixmap for an unknown name.
QPixmap LoadPicture(const std::string& name);
// The program's icon in all its sizes.
QIcon ProgramIcon();

}  // namespace kolvik::qt
