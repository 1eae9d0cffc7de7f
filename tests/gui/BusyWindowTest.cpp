// SPDX-License-Identifier: GPL-3.0-or-later
// The main window on screen while start-up speaks and while a run works: a message stands
// over the window (its words and the window's state: StartupTest.cpp), and every way the
// window can go stops the run between two blocks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "Shown.h"
#include "platform/qt/FormBinder.h"
#include "platform/qt/QtServices.h"
#include "support/Fakes.h"
#include "support/TempDir.h"

// Last: the X11 headers define macros (None, Bool) that clash with Qt's.
#include <X11/Xlib.h>

namespace kolvik::qt {
namespace {

TEST(StartRefusalView, TheMessageStandsOverTheWindowInItsStartUpState) {
    QtDialogs dialogs;
    test::TestWindow w("/nonexistent/kolvik", "/bestaat/niet/brief.txt", nullptr, {}, &dialogs);
    FormBinder view(*w.form);  // before start-up, as the program has it

    bool seen = false;
    QTimer answer;  // stopped with the test, whatever happens
    QObject::connect(&answer, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen = true;
        EXPECT_EQ(box->text(), QStringLiteral("Kolvik kan dit pad niet gebruiken: "
                                              "/bestaat/niet/brief.txt\nhet bestaat niet."));
        EXPECT_EQ(box->parentWidget(), view.Window());
        EXPECT_TRUE(view.Window()->isVisible());
        EXPECT_TRUE(view.Window()->grab().save(
            QStringLiteral(KOLVIK_SCREENSHOT_DIR "/kolvik-start-refused.png")));
        box->accept();
    });
    answer.start(10);
    w->Form_Load();
    EXPECT_TRUE(seen);
}

// A folder run on screen whose yields are the program's own. Once the first file shows
// progress, each later yield is a step at which the test acts as a user or the system would.
struct BusyWindow {
    test::TempDir tree;
    std::string big = std::string(6 << 20, 'x');  // six blocks, a yield after each
    std::unique_ptr<test::TestWindow> w;
    std::unique_ptr<Shown> shown;
    QtScreen screen{0};
    bool ended = false;

    BusyWindow() {
        test::WriteFile(tree / "a.txt", big);
        test::WriteFile(tree / "b.txt", "bravo");
        w = std::make_unique<test::TestWindow>("/nonexistent/kolvik", tree.path());
        (*w)->Form_Load();
        shown = std::make_unique<Shown>(*w->form);
        shown->view.SetCloseHandler([this] { (*w)->cmdExit_Click(); });  // as the program has it
        QObject::connect(&shown->view, &FormBinder::Unloaded, [this] { ended = true; });
    }
    QPoint At(const Control& c) const { return shown->W(c)->geometry().center(); }
    QWindow* Native() const { return shown->view.Window()->windowHandle(); }

    // Stopped between two blocks, nothing changed on disk, and the program ends.
    void ExpectStoppedAndEnded() const {
        EXPECT_TRUE((*w)->session.ExitRequested() && (*w)->unloaded);
        EXPECT_TRUE(ended) << "the program would go on without a window";
        EXPECT_EQ(test::ReadFile(tree / "a.txt"), big);
        EXPECT_FALSE(std::filesystem::exists(tree / "a_txt.kol"));
        EXPECT_EQ(test::ReadFile(tree / "b.txt"), "bravo") << "the run went on";
    }
    void Run(const std::function<void(int step)>& act) {
        int step = 0;
        w->screen.onYield = [&] {
            if ((*w)->NextBlock > 0 && step < 5) act(++step);
            screen.Yield();
        };
        w->clock.now = WallClock::now();
        (*w)->txtPassword_1.text = (*w)->txtPassword_2.text = "pw";
        (*w)->OnClick((*w)->cmdEncrypt);
        shown->view.Sync();
        QTest::mouseClick(Native(), Qt::LeftButton, {}, At((*w)->cmdGoEncrypt));
    }
};

TEST(BusyWindowView, EveryWayTheWindowGoesStopsTheRunBetweenTwoBlocksAndEndsTheProgram) {
    const struct {
        const char* what;
        std::function<void(BusyWindow&, int step)> act;
    } cases[] = {
        {"Exit clicked",
         [](BusyWindow& t, int step) {
             if (step == 1) {
                 t.shown->view.Sync();
                 t.shown->Shoot("kolvik-busy.png");
             }
             if (step == 2)
                 QTest::mouseClick(t.Native(), Qt::LeftButton, {}, t.At((*t.w)->cmdExit));
         }},
        // Losing the focus cancels a button's press, and the click with it. The run opens a
        // box and puts the focus there, as a wrong key on one file does.
        {"Exit held while the run moves the focus",
         [](BusyWindow& t, int step) {
             const QPoint exit = t.At((*t.w)->cmdExit);
             if (step == 1) QTest::mousePress(t.Native(), Qt::LeftButton, {}, exit);
             if (step == 2) {
                 (*t.w)->txtPassword_1.enabled = true;
                 (*t.w)->SetFocus((*t.w)->txtPassword_1);
             }
             if (step == 3) QTest::mouseRelease(t.Native(), Qt::LeftButton, {}, exit);
         }},
        {"window widget deleted",
         [](BusyWindow& t, int step) {
             if (step == 1) delete t.shown->view.Window();
         }},
        {"native window destroyed",
         [](BusyWindow& t, int step) {
             if (step == 1) t.Native()->destroy();
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        BusyWindow t;
        t.Run([&](int step) { c.act(t, step); });
        t.ExpectStoppedAndEnded();
    }
}

// On a real X server another client may destroy the window outright, as "xdotool windowclose"
// does; the program hears of it only from the server. Run under Xvfb (gui_x11_destroyed).
TEST(X11DestroyedWindow, StopsTheRunBetweenTwoBlocksAndEndsTheProgram) {
    if (QGuiApplication::platformName() != QStringLiteral("xcb"))
        GTEST_SKIP() << "needs an X server";
    BusyWindow t;
    Display* other = XOpenDisplay(nullptr);
    ASSERT_NE(other, nullptr);
    t.Run([&](int step) {
        if (step != 1) return;
        XDestroyWindow(other, static_cast<Window>(t.shown->view.Window()->winId()));
        XSync(other, False);
        // The notice travels through the server: wait for it, with a generous bound.
        for (int i = 0; i < 500 && !(*t.w)->session.ExitRequested(); ++i)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    });
    XCloseDisplay(other);
    t.ExpectStoppedAndEnded();
}

}  // namespace
}  // namespace kolvik::qt
