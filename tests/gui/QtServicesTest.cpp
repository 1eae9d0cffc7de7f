#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "ProbeForm.h"
#include "X11Keyboard.h"
#include "platform/qt/FormBinder.h"
#include "platform/qt/QtServices.h"

namespace kolvik::qt {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Runs act on the modal window as soon as one is up; a modal call blocks the test.
void WhenModalAppears(std::function<void(QWidget*)> act) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (QWidget* modal = QApplication::activeModalWidget(); modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        }
    });
    timer->start(10);
}

QAbstractButton* ButtonWithText(QMessageBox* box, const QString& text) {
    for (QAbstractButton* b : box->buttons())
        if (b->text() == text) return b;
    return nullptr;
}

TEST(QtDialogs, AsksInDutchUnderTheProgramsName) {
    const struct {
        const char* text;
        MsgButtons buttons;
        MsgIcon icon;
        const char* press;  // a button's text, or "Escape"
        MsgAnswer answer;
        QMessageBox::Icon shownIcon;
        std::vector<QString> shownButtons;
    } cases[] = {
        {"Ongelijke invoer",
         MsgButtons::OK,
         MsgIcon::None,
         "OK",
         MsgAnswer::OK,
         QMessageBox::NoIcon,
         {"OK"}},
        {"Schijf vol",
         MsgButtons::OK,
         MsgIcon::Critical,
         "Escape",
         MsgAnswer::OK,
         QMessageBox::Critical,
         {"OK"}},
        {"Doorgaan?",
         MsgButtons::OKCancel,
         MsgIcon::Exclamation,
         "Annuleren",
         MsgAnswer::Cancel,
         QMessageBox::Warning,
         {"OK", "Annuleren"}},
        {"Doorgaan?",
         MsgButtons::OKCancel,
         MsgIcon::Information,
         "OK",
         MsgAnswer::OK,
         QMessageBox::Information,
         {"OK", "Annuleren"}},
        {"Doorgaan?",
         MsgButtons::OKCancel,
         MsgIcon::None,
         "Escape",
         MsgAnswer::Cancel,
         QMessageBox::NoIcon,
         {"OK", "Annuleren"}},
    };
    for (const auto& c : cases) {
        QString title, text;
        QMessageBox::Icon icon{};
        std::vector<QString> buttons;
        WhenModalAppears([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            for (QAbstractButton* b : box->buttons()) buttons.push_back(b->text());
            std::sort(buttons.begin(), buttons.end(), [](const QString& a, const QString& b) {
                return (a == "OK") > (b == "OK");  // OK first, whatever the platform's order
            });
            if (std::string(c.press) == "Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (QAbstractButton* b = ButtonWithText(box, QString::fromLatin1(c.press)))
                b->click();
            else
                box->done(-1);
        });
        QtDialogs dialogs;
        EXPECT_EQ(dialogs.MsgBox(c.text, c.buttons, c.icon), c.answer) << c.text << " " << c.press;
        EXPECT_EQ(title, QStringLiteral("Kolvik"));
        EXPECT_EQ(text, QString::fromLatin1(c.text));
        EXPECT_EQ(icon, c.shownIcon) << c.text;
        EXPECT_THAT(buttons, ElementsAreArray(c.shownButtons)) << c.text;
    }
}

TEST(QtDialogs, ShowsLineBreaksOfTheMessage) {
    QString text;
    WhenModalAppears([&](QWidget* modal) {
        text = static_cast<QMessageBox*>(modal)->text();
        static_cast<QMessageBox*>(modal)->accept();
    });
    QtDialogs().MsgBox("U staat op het punt\r\nte verwijderen !", MsgButtons::OKCancel,
                       MsgIcon::None);
    EXPECT_EQ(text, QStringLiteral("U staat op het punt\nte verwijderen !"));
}

TEST(QtDialogs, ShowsAFormModallyUntilItUnloads) {
    test::ProbeForm dialog;
    dialog.onClick = [&dialog](Control& c) {
        if (&c == &dialog.cmdOK) dialog.Unload();
    };
    QString title;
    bool modal = false;
    WhenModalAppears([&](QWidget* window) {
        title = window->windowTitle();
        modal = window->isModal();
        static_cast<QPushButton*>(window->findChildren<QPushButton*>().value(0))->click();
    });
    QtDialogs().ShowModal(dialog);
    EXPECT_TRUE(dialog.unloaded);
    EXPECT_EQ(title, QStringLiteral("Proef"));
    EXPECT_TRUE(modal);
    EXPECT_THAT(dialog.events, ElementsAre("click:cmdOK"));
}

TEST(QtDialogs, ReturnsAtOnceForAFormThatIsAlreadyUnloaded) {
    test::ProbeForm dialog;
    dialog.Unload();
    QtDialogs().ShowModal(dialog);  // a hang here is the failure
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(QtScreen, MirrorsEveryFormAndRunsPendingEventsWhenItYields) {
    test::ProbeForm first, second;
    FormBinder firstView(first), secondView(second);
    first.lblText.text = "een";
    second.lblText.text = "twee";
    QMetaObject::invokeMethod(secondView.Widget("cmdOK"), "click", Qt::QueuedConnection);

    QtScreen(0).Yield();
    EXPECT_EQ(static_cast<QLabel*>(firstView.Widget("lblText"))->text(), QStringLiteral("een"));
    EXPECT_EQ(static_cast<QLabel*>(secondView.Widget("lblText"))->text(), QStringLiteral("twee"));
    EXPECT_THAT(second.events, ElementsAre("click:cmdOK"));
}

TEST(QtScreen, SkipsYieldsThatFollowTooClosely) {
    test::ProbeForm form;
    FormBinder view(form);
    QtScreen screen(60'000);
    screen.Yield();
    form.lblText.text = "later";
    screen.Yield();
    EXPECT_EQ(static_cast<QLabel*>(view.Widget("lblText"))->text(), QStringLiteral("Klik hier"));
}

TEST(QtScreen, SetsOneOverrideCursorAndRemovesIt) {
    const struct {
        MousePointer pointer;
        Qt::CursorShape shape;  // Qt::BlankCursor: no override at all
    } steps[] = {
        {MousePointer::Hourglass, Qt::WaitCursor},
        {MousePointer::QuestionArrow, Qt::WhatsThisCursor},
        {MousePointer::Hourglass, Qt::WaitCursor},
        {MousePointer::Default, Qt::BlankCursor},
        {MousePointer::Default, Qt::BlankCursor},
        {MousePointer::QuestionArrow, Qt::WhatsThisCursor},
    };
    {
        QtScreen screen;
        for (const auto& s : steps) {
            screen.SetMousePointer(s.pointer);
            const QCursor* cursor = QGuiApplication::overrideCursor();
            if (s.shape == Qt::BlankCursor) {
                EXPECT_EQ(cursor, nullptr);
            } else {
                ASSERT_NE(cursor, nullptr);
                EXPECT_EQ(cursor->shape(), s.shape);
            }
        }
    }
    EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr) << "the screen's override outlived it";
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
