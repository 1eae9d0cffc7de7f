#include <filesystem>

#include "Version.h"
#include "cipher/Ansi.h"
#include "mainwindow/PathHelpers.h"
#include "mainwindow/frmKolvik.h"

namespace kolvik {
namespace {

std::string LastCharacters(const std::string& text, std::size_t count) {
    const std::u32string chars = DecodeUtf8(text);
    if (chars.size() <= count) return text;
    return EncodeUtf8(std::u32string_view(chars).substr(chars.size() - count));
}

}  // namespace

void frmKolvik::Form_Load() {
    namespace fs = std::filesystem;
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
    const std::string captionStart =
        svc.process.exeName + " v" + VersionMajor + "." + VersionMinor + "." + VersionRevision + ": ... ";
    caption = captionStart + LastCharacters(commandLine.empty() ? programFolder : commandLine, 25);
    cmdGoEncrypt.enabled = cmdGoDecrypt.enabled = false;
    chkLoggen.tooltip = lblLoggen.tooltip = "Loggen uitgeschakeld";

    std::error_code ec;
    if (!commandLine.empty() && fs::is_regular_file(commandLine, ec)) {
        const std::string name = fs::path(commandLine).filename().string();
        const bool encrypted = name.size() >= 4 && name.compare(name.size() - 4, 4, ".kol") == 0;
        if (encrypted || !GetExtension(name).empty()) {
            TargetFile = fs::absolute(commandLine, ec).lexically_normal().string();
            (encrypted ? cmdEncrypt : cmdDecrypt).enabled = false;
            HasFileTarget = true;
            cmdEncrypt.tooltip = cmdDecrypt.tooltip = commandLine;
        }
    }
    if (!commandLine.empty() && fs::is_directory(commandLine, ec)) {
        fs::path folder = fs::absolute(commandLine, ec).lexically_normal();
        if (folder.has_relative_path() && !folder.has_filename()) folder = folder.parent_path();
        TargetFolder = folder.string();
        HasFolderTarget = true;
        caption = captionStart + LastCharacters(TargetFolder, 25);
        cmdEncrypt.tooltip = cmdDecrypt.tooltip = commandLine;
    }
    UpdateCapsLockNotice();
}

}  // namespace kolvik
