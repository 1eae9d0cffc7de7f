// SPDX-License-Identifier: GPL-3.0-or-later
// The registration dialog, the help window and the PIN notice on screen, and the main
// window's key commands reaching it whichever control has the focus.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QTimer>

#include "Shown.h"
#include "platform/qt/FormBinder.h"
#include "platform/qt/QtServices.h"
#include "shell/frmHelp.h"
#include "shell/frmRegistreren.h"
#include "shell/frmTooltip.h"
#include "support/Fakes.h"

namespace kolvik::qt {
namespace {

const QColor kFrameRed(255, 128, 128);

// Straight to the widget: the application's record of pressed buttons stays as it was.
void Send(QEvent::Type type, QWidget* w, QPoint at) {
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent e(type, at, w->mapToGlobal(at), button, button, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST(RegistrationView, DrawsAndRoutesMouseAndClicksToTheModel) {
    test::TestWindow w;
    frmRegistreren d(*w.form);
    d.Form_Load();  // nothing registered yet: both boxes checked
    Shown s(d);
    EXPECT_EQ(static_cast<QLabel*>(s.W(d.Image1))->pixmap().size(), QSize(65, 61));
    EXPECT_EQ(s.W(d.lblKolExtension)->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(s.view.Window()->windowIcon().isNull());

    QTest::mouseClick(s.W(d.chkKolExtension), Qt::LeftButton);
    EXPECT_TRUE(s.W(d.lblRemoveFromRegister)->isVisibleTo(s.view.Window()));

    Send(QEvent::MouseMove, s.W(d.lblToolTipActivate), QPoint(5, 5));
    EXPECT_EQ(s.view.Window()->cursor().shape(), Qt::WhatsThisCursor);
    Send(QEvent::MouseMove, s.W(d.lblContextMenu), QPoint(5, 5));  // a neighbour keeps it
    EXPECT_EQ(s.view.Window()->cursor().shape(), Qt::WhatsThisCursor);
    const QImage shot = s.Shoot("kolvik-registreren.png");
    EXPECT_EQ(shot.pixelColor(100, 10), kFrameRed);             // Line1 at 150 twips down
    EXPECT_EQ(shot.pixelColor(230, 100), kFrameRed);            // Line4 at 3450 across
    EXPECT_EQ(shot.pixelColor(100, 3), QColor(255, 255, 192));  // the form outside it
    Send(QEvent::MouseMove, s.view.Window(), QPoint(238, 5));
    EXPECT_EQ(s.view.Window()->cursor().shape(), Qt::ArrowCursor);
}

TEST(HelpView, ShowsTheQuestionMarkAsksOnTheRemovalLineAndClosesOnEscape) {
    test::TestWindow w;
    w.dialogs.answers = {MsgAnswer::Cancel};
    frmHelp h(*w.form);
    h.Form_Load();
    Shown s(h);
    EXPECT_EQ(s.view.Window()->windowTitle(), QStringLiteral("Help"));
    EXPECT_EQ(static_cast<QLabel*>(s.W(h.imQuestionmark))->pixmap().size(), QSize(51, 52));
    // The frame round the syntax, 2025 twips down.
    EXPECT_EQ(s.Shoot("kolvik-help.png").pixelColor(100, 135), kFrameRed);

    QTest::mouseClick(s.W(h.lblDERegistreren), Qt::LeftButton);
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    QTest::keyClick(s.W(h.cmdOK), Qt::Key_Escape);
    EXPECT_TRUE(h.unloaded);
    EXPECT_FALSE(s.view.Window()->isVisible());
}

TEST(NoticeView, FitsItsTextInsideTheEdge) {
    frmTooltip t;
    t.Form_Load();
    Shown s(t);
    auto* text = static_cast<QLabel*>(s.W(t.lblTooltip));
    EXPECT_LE(text->heightForWidth(text->width()), text->height()) << "the text is cut off";
    const QImage shot = s.Shoot("kolvik-tooltip.png");
    EXPECT_EQ(shot.pixelColor(5, 100), QColor(255, 255, 225));
    EXPECT_LT(shot.pixelColor(100, 0).lightness(), 100) << "the edge line";
}

// The notice opens modally from a press inside another window's event handling; closing it
// returns to that window, and the press that opened it is not handled a second time.
TEST(ModalShowing, OpensTheNoticeOnceAndReturnsWhenItCloses) {
    test::TestWindow w;
    w->session.ChooseRegistration("", "ja");
    QtDialogs dialogs;
    w.dialogs.onShowModal = [&dialogs](Form& f) { dialogs.ShowModal(f); };
    frmRegistreren d(*w.form);
    d.Form_Load();
    Shown s(d);
    QTimer closer;  // stopped with the test, whatever happens
    QObject::connect(&closer, &QTimer::timeout, [] {
        // A press beside the text, on the notice itself.
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible())
            Send(QEvent::MouseButtonPress, modal, QPoint(4, 75));
    });
    closer.start(50);
    // Should the press not close it, the notice is closed all the same. A timer of the test's
    // own, as above: the analyser takes a single shot's slot for a leak.
    bool forced = false;
    QTimer force;
    QObject::connect(&force, &QTimer::timeout, [&forced] {
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isModal()) forced = top->close();
    });
    force.start(5000);
    Send(QEvent::MouseButtonPress, s.W(d.lblContextMenu), QPoint(5, 5));
    EXPECT_EQ(w.dialogs.modalForms, std::vector<std::string>{"Kolvik"});
    EXPECT_FALSE(forced) << "the press did not close the modal notice";
    EXPECT_FALSE(d.unloaded);
}

// Counts the keys other than Shift, Ctrl and Alt that reach a widget.
struct KeySpy : QObject {
    int keys = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(e)->key();
            if (key != Qt::Key_Control && key != Qt::Key_Shift && key != Qt::Key_Alt) ++keys;
        }
        return false;
    }
};

TEST(MainWindowKeys, ReachTheWindowWhicheverControlHasTheFocusAndStopThere) {
    test::TestWindow w;
    w.registry.values["HKEY_CLASSES_ROOT\\.kol\\"] = w->ProgId();  // Ctrl+U asks the store
    w.dialogs.answers = {MsgAnswer::Cancel};
    Shown s(*w.form);
    QWidget* box = s.W(w->txtPassword_1);
    box->setFocus();
    KeySpy spy;
    box->installEventFilter(&spy);
    QWindow* window = s.view.Window()->windowHandle();
    QTest::keyClick(window, Qt::Key_X);
    EXPECT_EQ(spy.keys, 1) << "an ordinary key goes on to the text box";
    QTest::keyClick(window, Qt::Key_U, Qt::ControlModifier);
    QTest::keyClick(window, Qt::Key_F1);
    QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(spy.keys, 1) << "a text box would act on a command as well (Ctrl+U empties it)";
    ASSERT_EQ(w.dialogs.shown.size(), 1u);
    EXPECT_EQ(w.dialogs.modalForms, (std::vector<std::string>{"Help", "Kolvik registreren"}));
}

}  // namespace
}  // namespace kolvik::qt
