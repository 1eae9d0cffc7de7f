// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>

#include "Version.h"
#include "engine/Ansi.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {
namespace {

std::string LastCharacters(const std::string& text, std::size_t count) {
    const std::u32string chars = DecodeUtf8(text);
    if (chars.size() <= count) return text;
    return EncodeUtf8(std::u32string_view(chars).substr(chars.size() - count));
}

// The path as the system resolves it, links followed where they stand: "L/../data", with L a
// link to p/src, is p/data, as "ls L/../data" shows, never ./data as a reading of the text
// would make it.
std::filesystem::path Resolved(const std::filesystem::path& path) {
    std::error_code ec;
    std::filesystem::path resolved = std::filesystem::canonical(path, ec);
    // Lost between the look and now: the run opens the path as given and fails there.
    if (ec) resolved = std::filesystem::absolute(path, ec);
    return resolved;
}

}  // namespace

void frmKolvik::Form_Load() {
    VersionMajor = KOLVIK_VERSION_MAJOR;
    VersionMinor = KOLVIK_VERSION_MINOR;
    VersionRevision = KOLVIK_VERSION_REVISION;
    const std::string& programFolder = svc.process.programFolder;
    cmdEncrypt.tooltip = cmdDecrypt.tooltip = programFolder;
    REG_Check();
    if (StopRequested) {
        if (registrationDialog) registrationDialog->Unload();
        Unload();
        return;
    }
    FindSystemFolders();
    BuildProgressBar();

    // The command line is one path, taken whole: no quotes removed, no splitting.
    const std::string commandLine = svc.process.commandLine;
    // The caption names the program as its file is named, without the extension Windows adds.
    std::string programName = svc.process.exeName;
    if (programName.size() > 4) {
        std::string tail = programName.substr(programName.size() - 4);
        for (char& c : tail) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        if (tail == ".exe") programName.resize(programName.size() - 4);
    }
    const std::string captionStart =
        programName + " v" + VersionMajor + "." + VersionMinor + "." + VersionRevision + ": ... ";
    caption = captionStart + LastCharacters(commandLine.empty() ? programFolder : commandLine, 25);
    cmdGoEncrypt.enabled = cmdGoDecrypt.enabled = false;
    chkLoggen.tooltip = lblLoggen.tooltip = "Loggen uitgeschakeld";

    const std::string refusal =
        commandLine.empty() ? std::string() : TakeTarget(commandLine, captionStart);
    if (!refusal.empty()) {
        // Without a target a run falls back to the program's folder, which is not what the
        // user pointed at (a portable copy may stand beside the user's own files): nothing runs.
        cmdEncrypt.enabled = cmdDecrypt.enabled = false;
        cmdEncrypt.tooltip = cmdDecrypt.tooltip = commandLine;
    }
    UpdateCapsLockNotice();
    if (!refusal.empty()) {
        Show();
        MsgBox("Kolvik kan dit pad niet gebruiken: " + commandLine + "\r\n" + refusal,
               MsgButtons::OK, MsgIcon::Exclamation);
    }
}

std::string frmKolvik::TakeTarget(const std::string& path, const std::string& captionStart) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_type type = fs::status(FsPath(path), ec).type();
    if (type == fs::file_type::not_found) return "het bestaat niet.";
    if (ec) return "Kolvik heeft er geen toegang toe.";  // a folder on the way may not be searched
    if (type == fs::file_type::directory) {
        TargetFolder = Utf8Path(Resolved(FsPath(path)));
        HasFolderTarget = true;
        caption = captionStart + LastCharacters(TargetFolder, 25);
        cmdEncrypt.tooltip = cmdDecrypt.tooltip = path;
        return {};
    }
    if (type != fs::file_type::regular) return "het is geen gewoon bestand of map.";
    const std::string name = Utf8Path(FsPath(path).filename());
    const bool encrypted = EndsWithAnyCase(name, ".kol");
    if (!encrypted && GetExtension(name).empty())
        return "een bestand zonder extensie kan niet worden versleuteld.";
    // The folder is resolved, the file's own name kept: a file that is a link is judged as one
    // by the run, not swapped for what it points at.
    const fs::path given = FsPath(path);
    const fs::path parent = given.has_parent_path() ? given.parent_path() : fs::path(".");
    TargetFile = Utf8Path(Resolved(parent) / given.filename());
    (encrypted ? cmdEncrypt : cmdDecrypt).enabled = false;
    HasFileTarget = true;
    cmdEncrypt.tooltip = cmdDecrypt.tooltip = path;
    return {};
}

}  // namespace kolvik
