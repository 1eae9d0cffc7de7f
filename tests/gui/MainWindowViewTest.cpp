// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "Shown.h"
#include "X11Keyboard.h"
#include "platform/qt/FormBinder.h"
#include "platform/qt/QtServices.h"
#include "support/Fakes.h"

namespace kolvik::qt {
namespace {

struct MainWindowView : ::testing::Test {
    void SetUp() override {
        w->BuildProgressBar();
        s = std::make_unique<Shown>(*w.form);
    }
    QWidget* W(const Control& c) const { return s->W(c); }
    test::TestWindow w;
    std::unique_ptr<Shown> s;
};

TEST_F(MainWindowView, PlacesControlsAtFifteenTwipsAPixel) {
    EXPECT_EQ(s->view.Window()->size(), QSize(389, 266));                 // 5835 x 3990 twips
    EXPECT_EQ(W(w->txtPassword_1)->geometry(), QRect(120, 16, 193, 25));  // 1800,240 2895x375
    EXPECT_EQ(W(w->cmdExit)->geometry(), QRect(320, 16, 49, 57));         // 4800,240 735x855
    EXPECT_EQ(W(w->element[38])->geometry(), QRect(380, 220, 16, 16));    // 5700,3300 240x240
}

TEST_F(MainWindowView, ShowsAStarForEachCharacterOfBothPasswords) {
    for (const Control* box : {&w->txtPassword_1, &w->txtPassword_2}) {
        QTest::keyClicks(W(*box), QStringLiteral("Ab1 "));
        QTest::sendKeyEvent(QTest::Click, W(*box), Qt::Key_Eacute, QString(QChar(0xE9)),
                            Qt::NoModifier);
        EXPECT_EQ(static_cast<QLineEdit*>(W(*box))->displayText(), QStringLiteral("*****"))
            << box->name;
        EXPECT_EQ(box->text, "Ab1 \xC3\xA9") << box->name;
    }
}

// Writes kolvik-main.png for a person to look at, and checks the drawn blocks by pixel.
TEST_F(MainWindowView, DrawsTheProgressBlocksTheModelShows) {
    w->ShowFileProgress(5500, 38000);  // 5500 / 38000 * 38 = 5.5: blocks 0 to 5
    s->view.Sync();
    const QImage shot = s->Shoot("kolvik-main.png");
    const QColor green(0x55, 0xFF, 0x00);
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(shot.pixelColor(10 * i + 3, 228), green) << i;
    EXPECT_NE(shot.pixelColor(63, 228), green);  // block 6 is hidden
    w->ResetFileProgress();
    s->view.Sync();
    EXPECT_NE(s->view.Window()->grab().toImage().pixelColor(3, 228), green) << "after a reset";
}

TEST_F(MainWindowView, MarksCapsLockInRedAndFollowsTheKeyRelease) {
    const auto* notice = static_cast<QLabel*>(W(w->lblCapsLock));
    EXPECT_EQ(notice->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(notice->font().bold());
    EXPECT_EQ(notice->toolTip(), QStringLiteral("CapsLock ACTIEF"));
    for (const bool on : {true, false, true}) {
        w.keys.capsLock = on;
        QTest::keyRelease(s->view.Window()->windowHandle(), Qt::Key_CapsLock);
        EXPECT_EQ(notice->isVisibleTo(s->view.Window()), on);
    }
}

// A form that writes down the keys its window sees.
struct KeyForm : Form {
    Control txtName{"txtName", ControlKind::TextBox, "", {150, 150, 1500, 300}, 0};
    std::vector<std::pair<int, int>> keys;
    KeyForm() {
        clientWidth = clientHeight = 3000;
        focus = "txtName";
    }
    std::vector<Control*> Controls() override { return {&txtName}; }
    bool OnKeyDown(int key, int shift) override {
        keys.emplace_back(key, shift);
        return false;
    }
};

TEST(FormKeys, ReachOnKeyDownWithTheWindowsKeyCodeAndShiftState) {
    KeyForm form;
    Shown s(form);
    QWindow* window = s.view.Window()->windowHandle();
    QTest::keyClick(window, Qt::Key_F1, Qt::ShiftModifier | Qt::AltModifier);
    QTest::keyClick(window, Qt::Key_Escape);
    QTest::keyClick(window, Qt::Key_Return,
                    Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier);
    // Shift, Ctrl and Alt come as keys of their own (16, 17, 18) before the key they go with.
    std::vector<std::pair<int, int>> others;
    for (const auto& key : form.keys)
        if (key.first < 16 || key.first > 18) others.push_back(key);
    EXPECT_EQ(others, (std::vector<std::pair<int, int>>{{112, 5}, {27, 0}, {13, 7}}));
    EXPECT_EQ(form.keys.back(), std::make_pair(13, 7));
}

TEST(X11KeyState, FollowsTheCapsLockIndicator) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb")) {
        EXPECT_FALSE(X11KeyState().CapsLockOn()) << "no X11 display, so no notice";
        return;
    }
    for (const bool on : {true, false, true, false}) {
        ASSERT_TRUE(test::LockCapsLock(on));
        EXPECT_EQ(X11KeyState().CapsLockOn(), on);
    }
}

}  // namespace
}  // namespace kolvik::qt
