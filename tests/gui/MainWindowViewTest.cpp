#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QTest>
#include <memory>

#include "platform/qt/FormBinder.h"
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
    QLineEdit* Edit(const Control& c) const { return static_cast<QLineEdit*>(W(c)); }
    QString Text(const Control& c) const {
        if (auto* label = qobject_cast<QLabel*>(W(c))) return label->text();
        return static_cast<QAbstractButton*>(W(c))->text();
    }
    void Click(const Control& c) { QTest::mouseClick(W(c), Qt::LeftButton); }
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
    EXPECT_EQ(W(w->txtPassword_1)->geometry(), QRect(120, 16, 193, 25));
    EXPECT_EQ(W(w->lblPassword_2)->geometry(), QRect(16, 48, 89, 18));
    EXPECT_EQ(W(w->cmdExit)->geometry(), QRect(320, 16, 49, 57));
    EXPECT_EQ(W(w->cmdGoEncrypt)->geometry(), W(w->cmdGoDecrypt)->geometry());
    EXPECT_EQ(W(w->element[0])->geometry(), QRect(0, 220, 16, 16));
    EXPECT_EQ(W(w->element[38])->geometry(), QRect(380, 220, 16, 16));
    EXPECT_EQ(view->Window()->windowTitle(), QStringLiteral("Kolvik"));
    const QPoint offCentre = view->Window()->geometry().center() -
                             view->Window()->screen()->availableGeometry().center();
    EXPECT_LE(offCentre.manhattanLength(), 1);
}

TEST_F(MainWindowView, ShowsAStarForEachCharacterOfBothPasswords) {
    for (const Control* box : {&w->txtPassword_1, &w->txtPassword_2}) {
        QTest::keyClicks(W(*box), QStringLiteral("Ab1 "));
        QTest::sendKeyEvent(QTest::Click, W(*box), Qt::Key_Eacute, QString(QChar(0xE9)),
                            Qt::NoModifier);
        EXPECT_EQ(Edit(*box)->echoMode(), QLineEdit::Password) << box->name;
        EXPECT_EQ(Edit(*box)->displayText(), QStringLiteral("*****")) << box->name;
        EXPECT_EQ(box->text, "Ab1 \xC3\xA9") << box->name;
    }
}

TEST_F(MainWindowView, ModeButtonsReachTheModelAndItsStateReachesTheWidgets) {
    const struct {
        const char* first;
        const char* second;
        bool decrypt;
        bool accepted;
        const char* firstAfter;
        const char* secondAfter;
    } cases[] = {
        {"geheim", "geheim", false, true, "geheim", "geheim"},
        {"geheim", "geheim", true, true, "geheim", "geheim"},
        {"geheim", "Geheim", false, false, "", ""},  // letter case counts
        {"geheim", "geheix", true, false, "geheim",
         ""},  // decryption asks only for the confirmation
    };
    for (const auto& c : cases) {
        test::TestWindow fresh;
        FormBinder v(*fresh.form);
        v.Show();
        QTest::keyClicks(v.Widget("txtPassword_1"), QString::fromLatin1(c.first));
        QTest::keyClicks(v.Widget("txtPassword_2"), QString::fromLatin1(c.second));
        QTest::mouseClick(v.Widget(c.decrypt ? "cmdDecrypt" : "cmdEncrypt"), Qt::LeftButton);

        const std::string label =
            std::string(c.first) + "/" + c.second + (c.decrypt ? " decrypt" : " encrypt");
        EXPECT_EQ(static_cast<QLineEdit*>(v.Widget("txtPassword_1"))->text(),
                  QString::fromLatin1(c.firstAfter))
            << label;
        EXPECT_EQ(static_cast<QLineEdit*>(v.Widget("txtPassword_2"))->text(),
                  QString::fromLatin1(c.secondAfter))
            << label;
        EXPECT_EQ(v.Widget("txtPassword_1")->isEnabled(), !c.accepted) << label;
        EXPECT_EQ(v.Widget("txtPassword_2")->isEnabled(), !c.accepted) << label;
        EXPECT_EQ(v.Widget("cmdEncrypt")->isEnabled(), !c.accepted) << label;
        EXPECT_EQ(fresh.dialogs.shown.size(), c.accepted ? 0u : 1u) << label;
        if (!c.accepted) continue;
        QWidget* go = v.Widget(c.decrypt ? "cmdGoDecrypt" : "cmdGoEncrypt");
        QWidget* other = v.Widget(c.decrypt ? "cmdGoEncrypt" : "cmdGoDecrypt");
        EXPECT_TRUE(go->isVisibleTo(v.Window()) && go->isEnabled()) << label;
        EXPECT_TRUE(other->isHidden()) << label;
        EXPECT_EQ(static_cast<QAbstractButton*>(go)->text(), c.decrypt ? "Decrypt" : "Encrypt")
            << label;
        EXPECT_EQ(v.Window()->focusWidget(), go) << label;
    }
}

TEST_F(MainWindowView, ShowsTheProgressBlocksTheModelShows) {
    w->FileBytes = 38000;
    w->ShowFileProgress(5500);  // 5500 / 38000 * 38 = 5.5: blocks 0 to 5
    view->Sync();
    EXPECT_EQ(ShownBlocks(), std::string(6, '1') + std::string(33, '0'));
    w->ShowFileProgress(38000);
    view->Sync();
    EXPECT_EQ(ShownBlocks(), std::string(39, '1'));
    w->ResetFileProgress();
    view->Sync();
    EXPECT_EQ(ShownBlocks(), std::string(39, '0'));
}

TEST_F(MainWindowView, MarksCapsLockInRedAndFollowsTheKeyRelease) {
    const auto* notice = static_cast<QLabel*>(W(w->lblCapsLock));
    EXPECT_EQ(notice->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(notice->font().bold());
    EXPECT_EQ(notice->toolTip(), QStringLiteral("CapsLock ACTIEF"));
    EXPECT_EQ(notice->text(), QStringLiteral(" CapsLock "));

    // Showing the window counts as a resize, which looks at Caps Lock.
    {
        test::TestWindow early;
        early.keys.capsLock = true;
        FormBinder earlyView(*early.form);
        EXPECT_TRUE(
            earlyView.Widget("lblCapsLock")->isVisibleTo(earlyView.Window()));  // design-time state
        early->lblCapsLock.visible = false;
        earlyView.Sync();
        earlyView.Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(earlyView.Window()));
        EXPECT_TRUE(earlyView.Widget("lblCapsLock")->isVisible());
    }

    for (const bool on : {true, false, true}) {
        w.keys.capsLock = on;
        QTest::keyRelease(view->Window()->windowHandle(), Qt::Key_CapsLock);
        EXPECT_EQ(notice->isVisibleTo(view->Window()), on);
    }
}

TEST_F(MainWindowView, BreaksLabelLinesWhereTheTextSays) {
    w->FilesDone = 12;
    w->FilesSkipped = 3;
    w->ShowTotalFiles();
    view->Sync();
    EXPECT_EQ(Text(w->lblTotalFiles), QStringLiteral("Gedaan: 12\nOvergeslagen: 3"));
}

bool Dark(const QImage& image, int x, int y) { return qGray(image.pixel(x, y)) < 96; }
bool DarkNear(const QImage& image, int x, int y) {
    return Dark(image, x, y - 1) || Dark(image, x, y) || Dark(image, x, y + 1);
}
bool Green(const QImage& image, int x, int y) {
    return image.pixelColor(x, y) == QColor(0x55, 0xFF, 0x00);
}

// Writes kolvik-main.png for a person to look at, and checks what can be checked by pixel.
TEST_F(MainWindowView, DrawsFramesAndBlocksWhereTheyBelong) {
    QTest::keyClicks(W(w->txtPassword_1), QStringLiteral("geheim"));
    QTest::keyClicks(W(w->txtPassword_2), QStringLiteral("geheim"));
    Click(w->cmdEncrypt);
    w->lblFiles.text = "/home/gebruiker/Documenten/verslag.txt";
    w->FilesDone = 4;
    w->FilesSkipped = 1;
    w->ShowTotalFiles();
    w->lblPercentage.text = "       42,5 %";
    w->lblTijd.text = "00:00:03";
    w->FileBytes = 38000;
    w->ShowFileProgress(5500);
    view->Sync();
    const QImage shot = view->Window()->grab().toImage();
    EXPECT_TRUE(shot.save(QStringLiteral(KOLVIK_SCREENSHOT_DIR "/kolvik-main.png")));

    ASSERT_EQ(shot.size(), QSize(389, 238));
    // Upper frame: y 10 from x 8 to 376, sides at x 8 and 376.
    EXPECT_TRUE(DarkNear(shot, 100, 10));
    EXPECT_TRUE(DarkNear(shot, 100, 110));
    EXPECT_TRUE(Dark(shot, 8, 60) || Dark(shot, 7, 60));
    EXPECT_FALSE(DarkNear(shot, 100, 4));
    // Lower frame: its top at y 160 is open between x 128 and 264, right of Label1.
    EXPECT_TRUE(DarkNear(shot, 100, 160));
    EXPECT_TRUE(DarkNear(shot, 300, 160));
    EXPECT_FALSE(DarkNear(shot, 261, 160));
    // Blocks 0 to 5: columns 10i to 10i + 6 green, the gaps and block 6 not.
    for (int i = 0; i <= 5; ++i) EXPECT_TRUE(Green(shot, 10 * i + 3, 228)) << "block " << i;
    EXPECT_FALSE(Green(shot, 8, 228));
    EXPECT_FALSE(Green(shot, 63, 228));
}

}  // namespace
}  // namespace kolvik::qt
