// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>

#include "mainwindow/frmKolvik.h"

namespace kolvik {

void frmKolvik::OpenInViewer(const std::string& path) {
    std::string tail = path.substr(path.size() >= 3 ? path.size() - 3 : 0);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    if (WindowsShell) {
        OpenInWindowsViewer(tail, path);
        return;
    }
    // Text, documents and PDFs each open in the desktop's viewer for them; a failure is silent
    // and no later kind can match the same path.
    if (tail == "txt" && svc.launcher.OpenDocument(path)) return;
    if (tail == "doc" && svc.launcher.OpenDocument(path)) return;
    if (tail == "pdf") (void)svc.launcher.OpenDocument(path);
}

// Notepad takes the path unquoted; Foxit's registered command gets it quoted in place of its
// "%1". A document without Word, or a PDF without Foxit, opens in its associated program.
void frmKolvik::OpenInWindowsViewer(const std::string& tail, const std::string& path) {
    if (tail == "txt" && svc.launcher.StartProgram(SystemRootPath + "\\notepad.exe " + path,
                                                   WindowState::MaximizedFocus))
        return;
    if (tail == "doc" && svc.launcher.OpenDocument(path)) return;
    if (tail != "pdf") return;
    if (svc.registry.RegRead("HKEY_CLASSES_ROOT\\.pdf\\") != "FoxitReader.Document") {
        (void)svc.launcher.OpenDocument(path);
        return;
    }
    auto command =
        svc.registry.RegRead("HKEY_CLASSES_ROOT\\FoxitReader.Document\\shell\\open\\command\\");
    if (!command) return;
    if (command->size() >= 4) command->resize(command->size() - 4);
    (void)svc.launcher.StartProgram(*command + " \"" + path + "\"", WindowState::MaximizedFocus);
}

}  // namespace kolvik
