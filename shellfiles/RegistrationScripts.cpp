// SPDX-License-Identifier: GPL-3.0-or-later
#include "shellfiles/RegistrationScripts.h"

#include <filesystem>
#include <fstream>
#include <initializer_list>

#include "engine/Ansi.h"

namespace kolvik {
namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

// regedit reads these files in the ANSI code page, every line ended by CR LF.
std::string Script(std::initializer_list<std::string> lines) {
    std::string text;
    for (const auto& line : lines) text += line + "\r\n";
    return ToAnsi(text);
}

std::string Quoted(std::string_view s) { return "\"" + std::string(s) + "\""; }

// The quoted command value: the installed program, quoted, then the clicked path.
std::string CommandLine(const ScriptTarget& t) {
    const std::string exe = t.flavor == Flavor::Windows ? "\\\\Kolvik.exe" : "/kolvik";
    return "@=\"\\\"" + EscapeRegPath(t.folder, t.flavor) + exe + "\\\" %1\"";
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
    return Script({std::string(kHeader), "", "[HKEY_CLASSES_ROOT\\.kol]", "@=" + Quoted(progId)});
}

std::string KolvikReg(std::string_view progId, const ScriptTarget& target,
                      std::string_view kolExtension, std::string_view contextMenu) {
    const std::string k = "[HKEY_CLASSES_ROOT\\" + std::string(progId);
    return Script({std::string(kHeader),
                   "",
                   k + "]",
                   "\"EditFlags\"=dword:00000000",
                   "\"BrowserFlags\"=dword:00000008",
                   "@=\"Kolvik\"",
                   "",
                   k + "\\Checksum]",
                   "@=\"\"",
                   "",
                   k + "\\DefaultIcon]",
                   IconLine(target),
                   "",
                   k + "\\Options]",
                   "\"associatewithkol\"=" + Quoted(kolExtension),
                   "\"addtocontext\"=" + Quoted(contextMenu),
                   "",
                   k + "\\shell]",
                   "@=\"Open\"",
                   "",
                   k + "\\shell\\Open]",
                   "",
                   k + "\\shell\\Open\\command]",
                   CommandLine(target),
                   "",
                   k + "\\shell\\Open\\ddeexec]",
                   "",
                   k + "\\shell\\Open\\ddeexec\\Application]",
                   "@=\"Kolvik\"",
                   "",
                   k + "\\shell\\Open\\ddeexec\\Topic]",
                   "@=\"System\""});
}

std::string ContextMenuReg(const ScriptTarget& target) {
    return Script({std::string(kHeader), "", "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik]",
                   "", "[HKEY_CLASSES_ROOT\\*\\shell\\Besleutel met Kolvik\\command]",
                   CommandLine(target)});
}

std::string BesleutelMapReg(const ScriptTarget& target) {
    return Script(
        {std::string(kHeader), "", "[HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel]",
         "@=\"Besleutel met Kolvik\"", "",
         "[HKEY_CLASSES_ROOT\\Directory\\shell\\Kolvik.Besleutel\\command]", CommandLine(target)});
}

bool WriteScriptFile(const std::string& path, std::string_view bytes) {
    // The path is UTF-8, which Windows would otherwise read in its ANSI code page.
    std::ofstream out(std::filesystem::path(std::u8string(path.begin(), path.end())),
                      std::ios::binary | std::ios::trunc);
    if (!out) return false;
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

}  // namespace kolvik
