// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellfiles/DesktopFiles.h"

#include <initializer_list>

namespace kolvik {
namespace {

// The general escapes of the key-file format, which every desktop-style value goes through.
std::string KeyFileValue(std::string_view value) {
    std::string out;
    for (char c : value) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\t')
            out += "\\t";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    if (!out.empty() && out.front() == ' ') out.replace(0, 1, "\\s");
    return out;
}

// Every line ended by a line feed, the last one included.
std::string Text(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\n";
    return text;
}

}  // namespace

UserFolders UserFoldersFrom(const std::vector<std::string>& environment) {
    UserFolders f;
    for (const std::string& entry : environment) {
        if (entry.empty()) break;
        if (entry.starts_with("HOME=")) f.home = entry.substr(5);
        if (entry.starts_with("XDG_DATA_HOME=")) f.dataHome = entry.substr(14);
        if (entry.starts_with("XDG_CONFIG_HOME=")) f.configHome = entry.substr(16);
    }
    if (!f.dataHome.starts_with("/")) f.dataHome = f.home + "/.local/share";
    if (!f.configHome.starts_with("/")) f.configHome = f.home + "/.config";
    return f;
}

std::string DesktopIconFor(const UserFolders& folders, std::string_view iconFolder) {
    if (iconFolder == folders.dataHome + "/icons/hicolor/256x256/apps") return "kolvik";
    return std::string(iconFolder) + "/kolvik.png";
}

std::string DesktopExecProgram(std::string_view program) {
    const bool quote = program.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string_view::npos;
    std::string arg = quote ? "\"" : "";
    for (char c : program) {
        if (quote && (c == '"' || c == '`' || c == '$' || c == '\\')) arg += '\\';
        arg += c;
        if (c == '%') arg += '%';
    }
    if (quote) arg += '"';
    return KeyFileValue(arg);
}

std::string ShellQuote(std::string_view text) {
    std::string out = "'";
    for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string DesktopEntry(std::string_view program, std::string_view icon) {
    return Text({
        "[Desktop Entry]",
        "Type=Application",
        "Name=Kolvik",
        "GenericName=Bestandsversleuteling",
        "Comment=Versleutel en ontsleutel bestanden en mappen met een wachtwoord",
        "Exec=" + DesktopExecProgram(program) + " %f",
        "Icon=" + KeyFileValue(icon),
        "MimeType=" + std::string(kKolvikMimeType) + ";",
        "Terminal=false",
        // Security is an additional category: it wants System or Settings beside it.
        "Categories=System;Security;",
        "Keywords=versleutelen;ontsleutelen;wachtwoord;beveiliging;",
        std::string(kDesktopOwnerMark),
    });
}

std::string MimeDefinition() {
    return Text({
        R"(<?xml version="1.0" encoding="UTF-8"?>)",
        "<!-- " + std::string(kDesktopOwnerMark) + " -->",
        R"(<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">)",
        R"(  <mime-type type=")" + std::string(kKolvikMimeType) + R"(">)",
        "    <comment>Met Kolvik versleuteld bestand</comment>",
        R"(    <comment xml:lang="nl">Met Kolvik versleuteld bestand</comment>)",
        R"(    <icon name="kolvik"/>)",
        R"(    <glob pattern="*.kol"/>)",
        "  </mime-type>",
        "</mime-info>",
    });
}

// Nautilus passes the selection as arguments, relative to the folder it runs the script
// in; where it passes none (a remote folder) the paths come one a line in its variable.
std::string NautilusScript(std::string_view program) {
    const std::string run = ShellQuote(program) + R"( "$item" &)";
    return Text({
        "#!/bin/sh",
        "# " + std::string(kContextMenuText) + ": start Kolvik on each selected file or folder.",
        "# " + std::string(kDesktopOwnerMark),
        "if [ $# -eq 0 ]; then",
        R"(    printf '%s\n' "$NAUTILUS_SCRIPT_SELECTED_FILE_PATHS" |)",
        "        while IFS= read -r item; do",
        R"(            [ -n "$item" ] && )" + run,
        "        done",
        "    exit 0",
        "fi",
        R"(for item in "$@"; do)",
        R"(    case "$item" in)",
        "        /*) ;;",
        R"(        *) item="$PWD/$item" ;;)",
        "    esac",
        "    " + run,
        "done",
    });
}

// KIO starts one program for each selected item when Exec takes a single file.
std::string DolphinServiceMenu(std::string_view program, std::string_view icon) {
    return Text({
        "[Desktop Entry]",
        "Type=Service",
        "MimeType=all/all;",
        "Actions=besleutel;",
        "X-KDE-ServiceTypes=KonqPopupMenu/Plugin",
        std::string(kDesktopOwnerMark),
        "",
        "[Desktop Action besleutel]",
        "Name=" + std::string(kContextMenuText),
        "Icon=" + KeyFileValue(icon),
        "Exec=" + DesktopExecProgram(program) + " %f",
    });
}

// Nemo parses Exec as a shell would after putting the path between double quotes.
std::string NemoAction(std::string_view program, std::string_view icon) {
    return Text({
        "[Nemo Action]",
        "Name=" + std::string(kContextMenuText),
        "Comment=" + std::string(kContextMenuTip),
        "Exec=" + KeyFileValue(ShellQuote(program)) + " %F",
        "Icon-Name=" + KeyFileValue(icon),
        "Selection=s",
        "Extensions=any;",
        "Quote=double",
        std::string(kDesktopOwnerMark),
    });
}

}  // namespace kolvik
