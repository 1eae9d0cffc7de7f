// SPDX-License-Identifier: GPL-3.0-or-later
// Kolvik.exe: the main window on the Windows desktop. Its command line is at most one path.
#include "platform/win32/FormBinder.h"
#include "platform/win32/Win32Services.h"
// After the views' headers, which take away winbase.h's Yield macro.
#include <objbase.h>

#include "mainwindow/frmKolvik.h"
#include "platform/windows/WindowsRegistry.h"
#include "platform/windows/WindowsServices.h"
#include "platform/windows/WordLauncher.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    // Word's automation object and the picture decoders are COM objects of this thread.
    const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    kolvik::win32::Win32Dialogs dialogs;
    kolvik::win32::Win32Screen screen;
    kolvik::win32::Win32KeyState keys;
    kolvik::SystemClock clock;
    kolvik::UserRegional regional;
    kolvik::WindowsRegistry registry;
    kolvik::WordLauncher launcher(registry, kolvik::WindowsFolder());
    kolvik::frmKolvik form(kolvik::Services{dialogs, screen, keys, clock, regional, launcher,
                                            registry, kolvik::ReadProcessFacts()});

    // The view exists before start-up runs, so that a message of start-up can stand over the
    // window in its first state.
    kolvik::win32::FormBinder view(form);
    // Closing from the frame stops a run in progress, as the exit button does.
    view.SetCloseHandler([&form] { form.cmdExit_Click(); });
    // The registered open command of .kol files names this application and topic for its DDE
    // conversation, and marks the command line. A window started otherwise, from the context
    // menu on a .kol too, that answered would take the next double-clicked .kol's conversation
    // and leave that file unopened.
    if (kolvik::OpenCommandLine(GetCommandLineW())) view.AnswerDdeAs({L"Kolvik", L"System"});
    form.Form_Load();
    if (!form.unloaded) {
        view.Show();
        kolvik::win32::PumpMessages([&form] { return form.unloaded; });
    }
    if (com) CoUninitialize();
    return 0;
}
