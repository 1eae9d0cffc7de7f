// SPDX-License-Identifier: GPL-3.0-or-later
#include "Version.h"
#include "engine/Ansi.h"
#include "mainwindow/frmKolvik.h"
#include "session/Texts.h"

namespace kolvik {
namespace {

std::string LastCharacters(const std::string& text, std::size_t count) {
    const std::u32string chars = DecodeUtf8(text);
    if (chars.size() <= count) return text;
    return EncodeUtf8(std::u32string_view(chars).substr(chars.size() - count));
}

}  // namespace

void frmKolvik::Form_Load() {
    VersionMajor = KOLVIK_VERSION_MAJOR;
    VersionMinor = KOLVIK_VERSION_MINOR;
    VersionRevision = KOLVIK_VERSION_REVISION;
    const std::string& programFolder = svc.process.programFolder;
    cmdEncrypt.tooltip = cmdDecrypt.tooltip = programFolder;
    REG_Check();
    if (session.StopRequested()) {
        CloseProgram();
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

    const TargetRefusal refusal = commandLine.empty() && !svc.process.argumentGiven
                                      ? TargetRefusal::None
                                      : TakeTarget(commandLine, captionStart);
    if (refusal != TargetRefusal::None) {
        // Without a target a run falls back to the program's folder, which is not what the
        // user pointed at (a portable copy may stand beside the user's own files): nothing runs.
        cmdEncrypt.enabled = cmdDecrypt.enabled = false;
    }
    UpdateCapsLockNotice();
    if (refusal != TargetRefusal::None) {
        Show();
        MsgBox(UnusablePathText(commandLine, refusal), MsgButtons::OK, MsgIcon::Exclamation);
    }
}

TargetRefusal frmKolvik::TakeTarget(const std::string& path, const std::string& captionStart) {
    const TargetRefusal refusal = session.TakeTarget(path);
    if (refusal != TargetRefusal::None) return refusal;
    if (session.HasFolderTarget())
        caption = captionStart + LastCharacters(session.TargetFolder(), 25);
    else
        (session.ModeAllowed(RunMode::Encrypt) ? cmdDecrypt : cmdEncrypt).enabled = false;
    cmdEncrypt.tooltip = cmdDecrypt.tooltip = path;
    return TargetRefusal::None;
}

}  // namespace kolvik
