// SPDX-License-Identifier: GPL-3.0-or-later
#include <optional>

#include "mainwindow/frmKolvik.h"

namespace kolvik {

namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// The last three characters alone decide, with no dot required: "mytxt" is text and a
// ".docx" (ending "ocx") is not shown at all.
std::optional<ViewKind> ViewKindOf(const std::string& path) {
    if (path.size() < 3) return std::nullopt;
    std::string tail = path.substr(path.size() - 3);
    for (char& c : tail) c = Lower(c);
    if (tail == "txt") return ViewKind::Text;
    if (tail == "doc") return ViewKind::Document;
    if (tail == "pdf") return ViewKind::Pdf;
    return std::nullopt;
}

}  // namespace

void frmKolvik::OpenInViewer(const std::string& path) {
    if (const auto kind = ViewKindOf(path)) svc.launcher.OpenForViewing(*kind, path);
}

}  // namespace kolvik
