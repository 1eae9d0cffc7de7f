// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A form's window on screen for the widget tests.
#include <gtest/gtest.h>

#include <QPixmap>
#include <QTest>

#include "platform/qt/FormBinder.h"

namespace kolvik::qt {

struct Shown {
    explicit Shown(Form& form) : view(form) {
        view.Show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(view.Window()));
    }
    QWidget* W(const Control& c) const { return view.Widget(c.name); }
    // Saves the window for a person to look at and returns it for the pixel checks.
    QImage Shoot(const char* name) {
        const QPixmap shot = view.Window()->grab();
        EXPECT_TRUE(shot.save(QStringLiteral(KOLVIK_SCREENSHOT_DIR "/%1").arg(QLatin1String(name))))
            << name;
        return shot.toImage();
    }
    FormBinder view;
};

}  // namespace kolvik::qt
