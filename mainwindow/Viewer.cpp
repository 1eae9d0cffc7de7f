#include <algorithm>

#include "mainwindow/frmKolvik.h"

namespace kolvik {

void frmKolvik::OpenInViewer(const std::string& path) {
    std::string tail = path.substr(path.size() >= 3 ? path.size() - 3 : 0);
    std::transform(tail.begin(), tail.end(), tail.begin(),
                   [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; });
    // Text, documents and PDFs each open in the desktop's viewer for them; a failure is silent
    // and no later kind can match the same path.
    if (tail == "txt" && svc.launcher.OpenDocument(path)) return;
    if (tail == "doc" && svc.launcher.OpenDocument(path)) return;
    if (tail == "pdf") (void)svc.launcher.OpenDocument(path);
}

}  // namespace kolvik
