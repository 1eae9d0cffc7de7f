// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Widgets that Qt lacks for the form model's controls.
#include <QColor>
#include <QLine>
#include <QProxyStyle>
#include <QWidget>

namespace kolvik::qt {

// A straight line of a given pen width, drawn inside its own rectangle. It lets the
// mouse through, as a drawn line on a form does.
class LineWidget : public QWidget {
  public:
    explicit LineWidget(QWidget* parent);
    void SetLine(const QLine& line, int width);
    QLine Line() const { return line_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QLine line_;
    int width_ = 1;
};

// Password boxes show one "*" per character, whatever the platform style would use.
class StarPasswordStyle : public QProxyStyle {
  public:
    int styleHint(StyleHint hint, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr,
                  QStyleHintReturn* returnData = nullptr) const override;
};

}  // namespace kolvik::qt
