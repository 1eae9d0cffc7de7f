// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/ControlWidgets.h"

#include <QPainter>

namespace kolvik::qt {

LineWidget::LineWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineWidget::SetLine(const QLine& line, int width) {
    line_ = line;
    width_ = width < 1 ? 1 : width;
    update();
}

void LineWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Square caps reach past the ends, so the lines of a frame meet at its corners.
    painter.setPen(
        QPen(palette().color(QPalette::WindowText), width_, Qt::SolidLine, Qt::SquareCap));
    painter.drawLine(line_);
}

int StarPasswordStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                                 QStyleHintReturn* returnData) const {
    if (hint == SH_LineEdit_PasswordCharacter) return '*';
    if (hint == SH_LineEdit_PasswordMaskDelay) return 0;  // never show the last character typed
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

}  // namespace kolvik::qt
