#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "ProbeForm.h"
#include "platform/qt/FormBinder.h"

namespace kolvik::qt {
namespace {

using test::ProbeForm;
using ::testing::ElementsAre;

std::vector<std::string> Matching(const std::vector<std::string>& events, const std::string& part) {
    std::vector<std::string> out;
    for (const auto& e : events)
        if (e.find(part) != std::string::npos) out.push_back(e);
    return out;
}

class Binder : public ::testing::Test {
  protected:
    void SetUp() override {
        view = std::make_unique<FormBinder>(form);
        view->Show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view->Window()));
        form.events.clear();
    }
    QWidget* W(const Control& c) const { return view->Widget(c.name); }

    ProbeForm form;
    std::unique_ptr<FormBinder> view;
};

TEST_F(Binder, TakesTheFocusInTheOrderOfTheTabIndexes) {
    std::vector<QWidget*> chain;
    QWidget* w = W(form.cmdOK);
    do {
        if (w->focusPolicy() & Qt::TabFocus) chain.push_back(w);
        w = w->nextInFocusChain();
    } while (w != W(form.cmdOK));
    EXPECT_THAT(chain, ElementsAre(W(form.cmdOK), W(form.txtName), W(form.chkOption)));
    EXPECT_EQ(W(form.lblText)->focusPolicy(), Qt::NoFocus);
}

TEST_F(Binder, LetsTheWindowSeeAKeyBeforeTheFocusedControl) {
    form.focus = form.txtName.name;
    view->Sync();
    QTest::keyClick(view->Window()->windowHandle(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_THAT(Matching(form.events, ":82:"),
                ElementsAre("keydown:82:2", "keydown:txtName:82:2", "keyup:82:2"));
    form.events.clear();
    QTest::keyClick(view->Window()->windowHandle(), Qt::Key_F1,
                    Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_THAT(Matching(form.events, ":112:"),
                ElementsAre("keydown:112:5", "keydown:txtName:112:5", "keyup:112:5"));
}

TEST_F(Binder, StopsAKeyAtTheWindowWhenItsHandlerUnloadsTheForm) {
    struct Closing : ProbeForm {
        void OnKeyDown(int key, int shift) override {
            ProbeForm::OnKeyDown(key, shift);
            if (key == 27) Unload();
        }
    } closing;
    FormBinder closingView(closing);
    QSignalSpy unloaded(&closingView, &FormBinder::Unloaded);
    closingView.Show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(closingView.Window()));
    QTest::keyPress(closingView.Window()->windowHandle(), Qt::Key_Escape);
    EXPECT_THAT(Matching(closing.events, ":27:"), ElementsAre("keydown:27:0"));
    EXPECT_EQ(unloaded.count(), 1);
    EXPECT_FALSE(closingView.Window()->isVisible());
}

TEST_F(Binder, ReportsMouseEventsAtTheControlOrTheFormButNeverBoth) {
    QTest::mouseClick(W(form.lblText), Qt::LeftButton);
    QTest::mouseClick(view->Window(), Qt::LeftButton, {}, QPoint(280, 90));  // bare background
    QTest::mouseMove(W(form.cmdOK));
    QTest::mouseMove(view->Window(), QPoint(250, 90));
    EXPECT_THAT(form.events, ElementsAre("mousedown:lblText", "click:lblText", "mousedown:form",
                                         "mousemove:cmdOK", "mousemove:form"));

    // A disabled control passes the mouse on to its form.
    form.events.clear();
    form.cmdOK.enabled = false;
    view->Sync();
    QTest::mouseMove(W(form.cmdOK), QPoint(5, 5));
    EXPECT_THAT(form.events, ElementsAre("mousemove:form"));
}

TEST_F(Binder, ClicksALabelOnlyWhenTheButtonComesUpOverIt) {
    QTest::mousePress(W(form.lblText), Qt::LeftButton);
    QTest::mouseRelease(W(form.lblText), Qt::LeftButton, {}, QPoint(-20, -20));
    QTest::mouseClick(W(form.imgPicture), Qt::RightButton);
    EXPECT_THAT(Matching(form.events, "click"), ElementsAre());
    QTest::mouseClick(W(form.imgPicture), Qt::LeftButton);
    EXPECT_THAT(Matching(form.events, "click"), ElementsAre("click:imgPicture"));
}

TEST_F(Binder, GivesACheckBoxItsNewValueBeforeItsClickHandler) {
    QTest::mouseClick(W(form.chkOption), Qt::LeftButton);
    QTest::mouseClick(W(form.chkOption), Qt::LeftButton);
    EXPECT_THAT(Matching(form.events, "click"),
                ElementsAre("click:chkOption:1", "click:chkOption:0"));
    EXPECT_EQ(form.chkOption.value, 0);
}

TEST_F(Binder, KeepsTypedTextAndTheCursorWhileSyncing) {
    QTest::keyClicks(W(form.txtName), QStringLiteral("abcdef"));
    EXPECT_EQ(form.txtName.text, "abcdef");
    auto* edit = static_cast<QLineEdit*>(W(form.txtName));
    edit->setCursorPosition(2);
    view->Sync();
    EXPECT_EQ(edit->cursorPosition(), 2);
    form.txtName.text = "xyz";  // a handler empties or fills the box
    view->Sync();
    EXPECT_EQ(edit->text(), QStringLiteral("xyz"));
}

TEST_F(Binder, CopiesEveryKindOfStateFromTheModel) {
    const struct {
        const char* what;
        std::function<void(ProbeForm&)> change;
        std::function<bool(FormBinder&)> shown;
    } cases[] = {
        {"caption", [](ProbeForm& f) { f.caption = "Nieuw"; },
         [](FormBinder& v) { return v.Window()->windowTitle() == "Nieuw"; }},
        {"label text", [](ProbeForm& f) { f.lblText.text = "een\r\ntwee"; },
         [](FormBinder& v) {
             return static_cast<QLabel*>(v.Widget("lblText"))->text() == "een\ntwee";
         }},
        {"button caption", [](ProbeForm& f) { f.cmdOK.text = "Annuleren"; },
         [](FormBinder& v) {
             return static_cast<QPushButton*>(v.Widget("cmdOK"))->text() == "Annuleren";
         }},
        {"enabled", [](ProbeForm& f) { f.txtName.enabled = false; },
         [](FormBinder& v) { return !v.Widget("txtName")->isEnabled(); }},
        {"visible", [](ProbeForm& f) { f.lblText.visible = false; },
         [](FormBinder& v) { return v.Widget("lblText")->isHidden(); }},
        {"tooltip", [](ProbeForm& f) { f.cmdOK.tooltip = " verlaat dit scherm"; },
         [](FormBinder& v) { return v.Widget("cmdOK")->toolTip() == " verlaat dit scherm"; }},
        {"check value", [](ProbeForm& f) { f.chkOption.value = 1; },
         [](FormBinder& v) { return static_cast<QCheckBox*>(v.Widget("chkOption"))->isChecked(); }},
        {"place",
         [](ProbeForm& f) {
             f.cmdOK.place = {300, 450, 600, 300};
         },
         [](FormBinder& v) { return v.Widget("cmdOK")->geometry() == QRect(20, 30, 40, 20); }},
        {"fore colour",
         [](ProbeForm& f) {
             f.lblText.foreColor = Rgb{255, 128, 128};
         },
         [](FormBinder& v) {
             return v.Widget("lblText")->palette().color(QPalette::WindowText) ==
                    QColor(255, 128, 128);
         }},
        {"client size", [](ProbeForm& f) { f.clientWidth = 3000; },
         [](FormBinder& v) { return v.Window()->size() == QSize(200, 100); }},
        {"pointer", [](ProbeForm& f) { f.pointer = MousePointer::QuestionArrow; },
         [](FormBinder& v) { return v.Window()->cursor().shape() == Qt::WhatsThisCursor; }},
    };
    for (const auto& c : cases) {
        ProbeForm fresh;
        FormBinder v(fresh);
        EXPECT_FALSE(c.shown(v)) << c.what << " is shown before the change";
        c.change(fresh);
        v.Sync();
        EXPECT_TRUE(c.shown(v)) << c.what;
    }
}

TEST_F(Binder, FollowsTheUsersFocusSoTheModelCanMoveItBack) {
    QApplication::setActiveWindow(view->Window());
    ASSERT_TRUE(QTest::qWaitForWindowActive(view->Window()));
    form.focus = form.txtName.name;
    view->Sync();
    EXPECT_EQ(QApplication::focusWidget(), W(form.txtName));
    W(form.chkOption)->setFocus(Qt::TabFocusReason);  // the user tabs on
    EXPECT_EQ(form.focus, "chkOption");
    form.focus = form.txtName.name;  // and a handler sends it back
    view->Sync();
    EXPECT_EQ(QApplication::focusWidget(), W(form.txtName));
}

TEST_F(Binder, ClosesTheWindowOnceWhenAHandlerUnloadsTheForm) {
    QSignalSpy unloaded(view.get(), &FormBinder::Unloaded);
    form.onClick = [this](Control&) { form.Unload(); };
    QTest::mouseClick(W(form.cmdOK), Qt::LeftButton);
    EXPECT_FALSE(view->Window()->isVisible());
    view->Sync();
    FormBinder::SyncAll();
    EXPECT_EQ(unloaded.count(), 1);
}

TEST_F(Binder, LeavesClosingFromTheFrameToTheModel) {
    bool asked = false;
    view->SetCloseHandler([&asked] { asked = true; });  // a form that refuses to close
    view->Window()->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(asked);
    EXPECT_FALSE(form.unloaded);
    EXPECT_TRUE(view->Window()->isVisible());

    view->SetCloseHandler({});  // by default the form unloads
    view->Window()->close();
    QCoreApplication::processEvents();
    EXPECT_TRUE(form.unloaded);
    EXPECT_FALSE(view->Window()->isVisible());
}

}  // namespace
}  // namespace kolvik::qt
