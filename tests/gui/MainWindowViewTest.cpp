#include <gtest/gtest.h>

#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <memory>

#include "X11Keyboard.h"
#include "platform/qt/FormBinder.h"
#include "platform/qt/QtServices.h"
#include "support/Fakes.h"

namespace kolvik::qt {
namespace {

class MainWindowView : public ::testing::Test {
  protected:
    void SetUp() override {
        w->BuildProgressBar();
        view = std::make_unique<FormBinder>(*w.form);
        view->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->Window()));
    }
    QWidget* W(const Control& c) const { return view->Widget(c.name); }
    // Which blocks of the progress bar are on screen, as a string of 0 and 1.
    std::string ShownBlocks() {
        std::string shown;
        for (const auto& block : w->element)
            shown += W(block)->isVisibleTo(view->Window()) ? '1' : '0';
        return shown;
    }

    test::TestWindow w;
    std::unique_ptr<FormBinder> view;
};

TEST_F(MainWindowView, PlacesControlsAtFifteenTwipsAPixel) {
    EXPECT_EQ(view->Window()->size(), QSize(389, 238));  // 5835 x 3570 twips
    const struct {
        const Control& control;
        QRect pixels;
    } cases[] = {
        {w->txtPassword_1, QRect(120, 16, 193, 25)},  // 1800,240 2895x375
        {w->txtPassword_2, QRect(120, 48, 193, 27)},  // 1800,720 2895x405
        {w->cmdExit, QRect(320, 16, 49, 57)},         // 4800,240 735x855
        {w->element[0], QRect(0, 220, 16, 16)},
        {w->element[38], QRect(380, 220, 16, 16)},    // 5700,3300 240x240
    };
    for (const auto& c : cases) EXPECT_EQ(W(c.control)->geometry(), c.pixels) << c.control.name;
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

TEST(MainWindowEncrypt, ClickReachesTheModelAndLocksThePasswordBoxes) {
    const struct {
        const char *first, *second;
        bool accepted;
    } cases[] = {{"geheim", "geheim", true}, {"geheim", "Geheim", false}, {"geheim", "geheimx", false}};
    for (const auto& c : cases) {
        test::TestWindow fresh;
        FormBinder v(*fresh.form);
        v.Show();
        QTest::keyClicks(v.Widget("txtPassword_1"), QString::fromLatin1(c.first));
        QTest::keyClicks(v.Widget("txtPassword_2"), QString::fromLatin1(c.second));
        QTest::mouseClick(v.Widget("cmdEncrypt"), Qt::LeftButton);
        const std::string label = std::string(c.first) + "/" + c.second;
        EXPECT_EQ(v.Widget("txtPassword_1")->isEnabled(), !c.accepted) << label;
        EXPECT_EQ(v.Widget("txtPassword_2")->isEnabled(), !c.accepted) << label;
        EXPECT_EQ(fresh.dialogs.shown.size(), c.accepted ? 0u : 1u) << label;
        EXPECT_EQ(v.Widget("cmdEncrypt")->isEnabled(), !c.accepted) << label;
    }
}

TEST_F(MainWindowView, ShowsTheProgressBlocksTheModelShows) {
    w->FileBytes = 38000;
    const struct {
        long long done;  // 0 resets
        std::string shown;
    } steps[] = {
        {5500, std::string(6, '1') + std::string(33, '0')},  // 5500/38000*38 = 5.5: 0..5
        {38000, std::string(39, '1')},
        {0, std::string(39, '0')},
    };
    for (const auto& s : steps) {
        if (s.done) w->ShowFileProgress(s.done); else w->ResetFileProgress();
        view->Sync();
        EXPECT_EQ(ShownBlocks(), s.shown) << s.done;
    }
}

TEST_F(MainWindowView, MarksCapsLockInRedAndFollowsTheKeyRelease) {
    const auto* notice = static_cast<QLabel*>(W(w->lblCapsLock));
    EXPECT_EQ(notice->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(notice->font().bold());
    EXPECT_EQ(notice->toolTip(), QStringLiteral("CapsLock ACTIEF"));
    for (const bool on : {true, false, true}) {
        w.keys.capsLock = on;
        QTest::keyRelease(view->Window()->windowHandle(), Qt::Key_CapsLock);
        EXPECT_EQ(notice->isVisibleTo(view->Window()), on);
    }
}

// Writes kolvik-main.png for a person to look at, and checks the drawn blocks by pixel.
TEST_F(MainWindowView, WritesAScreenshotIntoTheBuildFolder) {
    w->FileBytes = 38000;
    w->ShowFileProgress(5500);
    view->Sync();
    const QImage shot = view->Window()->grab().toImage();
    const QString path = QStringLiteral(KOLVIK_SCREENSHOT_DIR "/kolvik-main.png");
    QFile::remove(path);
    ASSERT_TRUE(shot.save(path));
    EXPECT_EQ(QImage(path).size(), QSize(389, 238));
    const QColor green(0x55, 0xFF, 0x00);
    for (int i = 0; i <= 5; ++i) EXPECT_EQ(shot.pixelColor(10 * i + 3, 228), green) << i;
    EXPECT_NE(shot.pixelColor(63, 228), green);  // block 6 is hidden
}

// A form that writes down the keys its window sees.
struct KeyForm : Form {
    Control txtName{"txtName", ControlKind::TextBox, "", {150, 150, 1500, 300}, 0};
    std::vector<std::pair<int, int>> keys;
    KeyForm() { clientWidth = clientHeight = 3000; focus = "txtName"; }
    std::vector<Control*> Controls() override { return {&txtName}; }
    bool OnKeyDown(int key, int shift) override {
        keys.emplace_back(key, shift);
        return false;
    }
};

TEST(FormKeys, ReachOnKeyDownWithTheWindowsKeyCodeAndShiftState) {
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers mods;
        int code, shift;
    } cases[] = {
        {Qt::Key_R, Qt::ControlModifier, 82, 2},
        {Qt::Key_F1, Qt::ShiftModifier | Qt::AltModifier, 112, 5},
        {Qt::Key_Escape, Qt::NoModifier, 27, 0},
        {Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier | Qt::ShiftModifier, 13, 7},
    };
    for (const auto& c : cases) {
        KeyForm form;
        FormBinder v(form);
        v.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(v.Window()));
        QTest::keyClick(v.Window()->windowHandle(), c.key, c.mods);
        // Shift, Ctrl and Alt come first as keys of their own (16, 17, 18).
        ASSERT_FALSE(form.keys.empty()) << c.code;
        EXPECT_EQ(form.keys.back(), std::make_pair(c.code, c.shift));
        for (size_t i = 0; i + 1 < form.keys.size(); ++i)
            EXPECT_TRUE(form.keys[i].first >= 16 && form.keys[i].first <= 18) << c.code;
    }
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
