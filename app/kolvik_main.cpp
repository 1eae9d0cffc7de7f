// SPDX-License-Identifier: GPL-3.0-or-later
// kolvik: the main window on the desktop. Its command line is at most one path.
#include <QApplication>
#include <QTimer>
#include <clocale>
#include <csignal>

#include "app/Suspend.h"
#include "mainwindow/frmKolvik.h"
#include "platform/posix/PosixServices.h"
#include "platform/posix/RegistryStore.h"
#include "platform/qt/FormBinder.h"
#include "platform/qt/QtServices.h"
#include "platform/qt/ViewHelpers.h"

int main(int argc, char** argv) {
    std::setlocale(LC_ALL, "");
    // A closed terminal or a file size limit must not end a run half-way: the write fails
    // instead, and a failed copy leaves its original as it was.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGXFSZ, SIG_IGN);
    // Before QApplication, which takes options such as -platform out of argv: the
    // command line belongs to the program, unchanged.
    kolvik::ProcessFacts facts = kolvik::ReadProcessFacts(argc, argv);

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kolvik"));
    QApplication::setWindowIcon(kolvik::qt::ProgramIcon());
    QApplication::setQuitOnLastWindowClosed(false);

    kolvik::qt::QtDialogs dialogs;
    kolvik::qt::QtScreen screen;
    kolvik::qt::X11KeyState keys;
    kolvik::SystemClock clock;
    kolvik::LocaleRegional regional;
    kolvik::XdgLauncher launcher;
    kolvik::FileRegistry registry(kolvik::DefaultRegistryPath());
    registry.onNotice = [&dialogs](const std::string& text) {
        dialogs.MsgBox(text, kolvik::MsgButtons::OK, kolvik::MsgIcon::Exclamation);
    };
    kolvik::frmKolvik form(kolvik::Services{dialogs, screen, keys, clock, regional, launcher,
                                            registry, std::move(facts)});

    // The view exists before start-up runs, so that a message of start-up can stand over the
    // window in its first state.
    kolvik::qt::FormBinder view(form);
    // Closing from the frame stops a run in progress, as the exit button does; so does a
    // window that is destroyed instead of closed.
    view.SetCloseHandler([&form] { form.cmdExit_Click(); });
    QObject::connect(&view, &kolvik::qt::FormBinder::Unloaded, &app, &QCoreApplication::quit);
    // Ctrl+Z from the terminal that started it: taken between two files, with no lease held.
    form.SuspendRequested = kolvik::cli::suspend::Requested;
    form.Suspend = kolvik::cli::suspend::Now;
    kolvik::cli::suspend::Catch();
    // Outside a run there is nothing to wait for: the request is taken at once.
    QTimer idleSuspend;
    QObject::connect(&idleSuspend, &QTimer::timeout, [&form] {
        if (!form.RunBusy && kolvik::cli::suspend::Requested()) kolvik::cli::suspend::Now();
    });
    idleSuspend.start(200);
    form.Form_Load();
    if (form.unloaded) return 0;
    view.Show();
    return app.exec();
}
