// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellfiles/RegistrationScripts.h"

#include <cstdint>
#include <initializer_list>

#include "engine/Ansi.h"
#include "shellfiles/RegistryKeys.h"

namespace kolvik {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// UTF-8 text as UTF-16LE bytes after a byte order mark: what regedit takes as a Unicode
// script. Malformed bytes stand for themselves, as Windows-1252 would read them.
std::string Utf16Script(std::string_view utf8) {
    std::string out = "\xFF\xFE";
    const auto unit = [&out](std::uint32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    for (std::size_t i = 0; i < utf8.size();) {
        const auto b = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = b < 0x80         ? 1
                              : (b >> 5) == 6  ? 2
                              : (b >> 4) == 14 ? 3
                              : (b >> 3) == 30 ? 4
                                               : 0;
        std::uint32_t c = n == 1 ? b : n == 2 ? b & 0x1F : n == 3 ? b & 0x0F : b & 0x07;
        bool whole = n != 0 && i + n <= utf8.size();
        for (std::size_t k = 1; whole && k < n; ++k) {
            const auto next = static_cast<unsigned char>(utf8[i + k]);
            whole = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        if (!whole) {
            unit(b);
            ++i;
            continue;
        }
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
        i += n;
    }
    return out;
}

// regedit reads these files in the ANSI code page, every line ended by CR LF. A program folder
// whose name that code page cannot hold (Polish, Cyrillic, Chinese letters) would come out
// with "?" and break the association: such a script is written as a Unicode one instead,
// whose header line is the same.
std::string Script(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    if (auto ansi = ToAnsiExact(text)) return *ansi;
    return Utf16Script(text);
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

std::string Section(std::string_view key) { return "[" + std::string(key) + "]"; }

// The quoted command value: the installed program, quoted, then the clicked path; on Windows
// the open command marks it.
std::string CommandLine(const ScriptTarget& t, bool openCommand = false) {
    const bool windows = t.flavor == Flavor::Windows;
    const std::string exe = windows ? "\\\\Kolvik.exe" : "/kolvik";
    const std::string mark = windows && openCommand ? std::string(kOpenCommandMark) + " " : "";
    return "@=\"\\\"" + EscapeRegPath(t.folder, t.flavor) + exe + "\\\" " + mark + "%1\"";
}

std::string IconLine(const ScriptTarget& t) {
    const std::string icon = t.flavor == Flavor::Windows ? "\\\\Kolvik.ico,0" : "/kolvik.png,0";
    const std::string& folder = t.flavor == Flavor::Windows ? t.folder : t.iconFolder;
    return "@=" + Quoted(EscapeRegPath(folder, t.flavor) + icon);
}

}  // namespace

std::string MakeProgId(std::string_view major, std::string_view minor, std::string_view revision) {
    return "kolvik" + std::string(major) + "." + std::string(minor) + "." + std::string(revision);
}

std::string EscapeRegPath(std::string_view path, Flavor flavor) {
    std::string out;
    for (char c : path) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '"' && flavor == Flavor::Linux)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

std::string KolReg(std::string_view progId) {
    return Script(
        {std::string(kHeader), "", Section(RegistryKeys(progId).kol), "@=" + Quoted(progId)});
}

std::string KolvikReg(std::string_view progId, const ScriptTarget& target,
                      std::string_view kolExtension, std::string_view contextMenu) {
    const RegistryKeys k(progId);
    return Script({std::string(kHeader),
                   "",
                   Section(k.progId),
                   "\"EditFlags\"=dword:00000000",
                   "\"BrowserFlags\"=dword:00000008",
                   "@=\"Kolvik\"",
                   "",
                   Section(k.checksum),
                   "@=\"\"",
                   "",
                   Section(k.defaultIcon),
                   IconLine(target),
                   "",
                   Section(k.options),
                   Quoted(kAssociateOption) + "=" + Quoted(kolExtension),
                   Quoted(kContextMenuOption) + "=" + Quoted(contextMenu),
                   "",
                   Section(k.shell),
                   "@=\"Open\"",
                   "",
                   Section(k.open),
                   "",
                   Section(k.command),
                   CommandLine(target, true),
                   "",
                   Section(k.ddeexec),
                   "",
                   Section(k.ddeApplication),
                   "@=\"Kolvik\"",
                   "",
                   Section(k.ddeTopic),
                   "@=\"System\""});
}

std::string ContextMenuReg(const ScriptTarget& target) {
    const RegistryKeys k("");
    return Script({std::string(kHeader), "", Section(k.fileMenu), "", Section(k.fileMenuCommand),
                   CommandLine(target)});
}

std::string BesleutelMapReg(const ScriptTarget& target) {
    const RegistryKeys k("");
    return Script({std::string(kHeader), "", Section(k.folderMenu), "@=\"Besleutel met Kolvik\"",
                   "", Section(k.folderMenuCommand), CommandLine(target)});
}

}  // namespace kolvik
