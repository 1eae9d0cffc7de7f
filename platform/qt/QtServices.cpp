// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/qt/QtServices.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QMessageBox>

#include "platform/qt/FormBinder.h"
#include "platform/qt/ViewHelpers.h"

namespace kolvik::qt {

MsgAnswer QtDialogs::MsgBox(const std::string& text, MsgButtons buttons, MsgIcon icon) {
    // What the handler changed so far is on screen behind the question.
    FormBinder::SyncAll();
    // Over the window that asks; a window shown a moment ago may not be active yet.
    QWidget* parent = QApplication::activeWindow();
    if (!parent) parent = FormBinder::NewestWindow();
    QMessageBox box(parent);
    box.setWindowTitle(QStringLiteral("Kolvik"));
    box.setText(ToQString(text));
    box.setTextFormat(Qt::PlainText);
    switch (icon) {
        case MsgIcon::None:
            box.setIcon(QMessageBox::NoIcon);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Critical:
            box.setIcon(QMessageBox::Critical);
            break;
    }
    if (buttons == MsgButtons::OKCancel) {
        box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
        box.button(QMessageBox::Cancel)->setText(QStringLiteral("Annuleren"));
        box.setEscapeButton(QMessageBox::Cancel);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
        box.setEscapeButton(QMessageBox::Ok);
    }
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.setDefaultButton(QMessageBox::Ok);
    const int answer = box.exec();
    FormBinder::SyncAll();
    return answer == QMessageBox::Cancel ? MsgAnswer::Cancel : MsgAnswer::OK;
}

void QtDialogs::ShowModal(Form& form) {
    if (form.unloaded) return;
    FormBinder::SyncAll();
    // Over the window that opened it; a window that has just closed itself to make room
    // (the help window opening the registration dialog) is no parent.
    QWidget* parent = QApplication::activeWindow();
    if (parent && !parent->isVisible()) parent = nullptr;
    FormBinder binder(form, parent);
    binder.Window()->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    QObject::connect(&binder, &FormBinder::Unloaded, &loop, &QEventLoop::quit);
    binder.Show();
    if (!form.unloaded) loop.exec();
    FormBinder::SyncAll();
}

QtScreen::QtScreen(int minIntervalMs) : minIntervalMs_(minIntervalMs) {}

QtScreen::~QtScreen() {
    if (overridden_ && qApp) QGuiApplication::restoreOverrideCursor();
}

void QtScreen::Yield() {
    if (sinceYield_.isValid() && sinceYield_.elapsed() < minIntervalMs_) return;
    FormBinder::SyncAll();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    sinceYield_.start();
}

void QtScreen::SetMousePointer(MousePointer pointer) {
    if (pointer == MousePointer::Default) {
        if (overridden_) QGuiApplication::restoreOverrideCursor();
        overridden_ = false;
        return;
    }
    const QCursor cursor(pointer == MousePointer::Hourglass ? Qt::WaitCursor : Qt::WhatsThisCursor);
    // One override of ours at a time; a change replaces it instead of stacking.
    if (overridden_)
        QGuiApplication::changeOverrideCursor(cursor);
    else
        QGuiApplication::setOverrideCursor(cursor);
    overridden_ = true;
}

}  // namespace kolvik::qt
