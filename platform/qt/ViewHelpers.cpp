// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ViewHelpers.h"

#include <QFontDatabase>
#include <algorithm>
#include <cmath>
#include <utility>

// The pictures are compiled into this static library; without an explicit reference
// the linker would drop their registration.
static void InitPictureResources() { Q_INIT_RESOURCE(kolvik); }

namespace kolvik::qt {

int TwipsToPixels(int twips) {
    return static_cast<int>(std::lround(static_cast<double>(twips) / kTwipsPerPixel));
}

QRect ControlRect(const Twips& place) {
    const int left = TwipsToPixels(place.left), top = TwipsToPixels(place.top);
    const int right = TwipsToPixels(place.left + place.width);
    const int bottom = TwipsToPixels(place.top + place.height);
    return QRect(left, top, right - left, bottom - top);
}

LineShape LineGeometry(const Control& line) {
    const QPoint a(TwipsToPixels(line.place.left), TwipsToPixels(line.place.top));
    const QPoint b(TwipsToPixels(line.place.width), TwipsToPixels(line.place.height));
    // Room for the pen on every side, so square caps close the corners of a frame.
    const int pad = (std::max(line.lineWidth, 1) + 1) / 2;
    const QRect rect = QRect(QPoint(std::min(a.x(), b.x()), std::min(a.y(), b.y())),
                             QPoint(std::max(a.x(), b.x()), std::max(a.y(), b.y())))
                           .adjusted(-pad, -pad, pad, pad);
    return {rect, QLine(a - rect.topLeft(), b - rect.topLeft())};
}

int WindowsKeyCode(int qtKey) {
    if ((qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) || (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9))
        return qtKey;  // the same codes on both sides
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) return 112 + (qtKey - Qt::Key_F1);
    static constexpr std::pair<int, int> kOthers[] = {
        {Qt::Key_Backspace, 8}, {Qt::Key_Tab, 9},       {Qt::Key_Backtab, 9},
        {Qt::Key_Return, 13},   {Qt::Key_Enter, 13},    {Qt::Key_Shift, 16},
        {Qt::Key_Control, 17},  {Qt::Key_Alt, 18},      {Qt::Key_Pause, 19},
        {Qt::Key_CapsLock, 20}, {Qt::Key_Escape, 27},   {Qt::Key_Space, 32},
        {Qt::Key_PageUp, 33},   {Qt::Key_PageDown, 34}, {Qt::Key_End, 35},
        {Qt::Key_Home, 36},     {Qt::Key_Left, 37},     {Qt::Key_Up, 38},
        {Qt::Key_Right, 39},    {Qt::Key_Down, 40},     {Qt::Key_Insert, 45},
        {Qt::Key_Delete, 46},   {Qt::Key_NumLock, 144}, {Qt::Key_ScrollLock, 145},
    };
    for (const auto& [qt, vk] : kOthers)
        if (qt == qtKey) return vk;
    return 0;
}

int ShiftState(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? kShift : 0) |
           (modifiers & Qt::ControlModifier ? kCtrl : 0) | (modifiers & Qt::AltModifier ? kAlt : 0);
}

QString ToQString(const std::string& text) {
    QString s = QString::fromStdString(text);
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

QString ScriptFamily() {
    static const QString family = [] {
        for (const char* name : {"Z003", "URW Chancery L", "TeX Gyre Chorus", "Zapf Chancery"})
            if (QFontDatabase::hasFamily(QString::fromLatin1(name)))
                return QString::fromLatin1(name);
        return QString();
    }();
    return family;
}

QString SansFamily() {
    // Helvetica's widths: the layout was drawn for a narrow sans-serif face.
    static const QString family = [] {
        for (const char* name : {"Nimbus Sans", "Liberation Sans", "Arial", "Helvetica"})
            if (QFontDatabase::hasFamily(QString::fromLatin1(name)))
                return QString::fromLatin1(name);
        return QString();
    }();
    return family;
}

QFont ControlFont(const Control& control, const QFont& base) {
    QFont font = base;
    if (control.face == FontFace::Script) {
        const QString family = ScriptFamily();
        if (family.isEmpty()) {
            font.setItalic(true);  // still set apart from the plain labels
        } else {
            font.setFamily(family);
            font.setPointSizeF(base.pointSizeF() * 1.6);
        }
    }
    font.setBold(control.bold);
    return font;
}

void FitLabelFont(QLabel& label, QFont font) {
    constexpr double kSmallest = 6.0, kStep = 0.25;
    label.setFont(font);
    while (label.heightForWidth(label.width()) > label.height() &&
           font.pointSizeF() - kStep >= kSmallest) {
        font.setPointSizeF(font.pointSizeF() - kStep);
        label.setFont(font);
    }
}

namespace {
void EnsurePictures() {
    static const bool ready = (InitPictureResources(), true);
    (void)ready;
}
}  // namespace

QPixmap LoadPicture(const std::string& name) {
    EnsurePictures();
    if (name.empty()) return {};
    return QPixmap(QStringLiteral(":/kolvik/%1.png").arg(QString::fromStdString(name)));
}

QIcon ProgramIcon() {
    EnsurePictures();
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256, 512})
        icon.addFile(QStringLiteral(":/kolvik/kolvik-%1.png").arg(size), QSize(size, size));
    return icon;
}

}  // namespace kolvik::qt
