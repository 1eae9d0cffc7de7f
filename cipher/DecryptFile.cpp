#include "cipher/Ansi.h"
#include "cipher/FileFormat.h"
#include "cipher/FileWork.h"
#include "mainwindow/PathHelpers.h"

namespace kolvik {
namespace {

// The window offers to encrypt the same file again.
void ReadyToEncryptAgain(frmKolvik& f) {
    f.ResetFileProgress();
    f.lblCopyright.visible = true;
    f.cmdGoEncrypt.enabled = false;
    f.cmdEncrypt.enabled = true;
    f.cmdEncrypt.visible = true;
    f.cmdGoDecrypt.visible = false;
    f.cmdGoEncrypt.visible = true;
}

}  // namespace

bool frmKolvik::DecryptFile(std::string& name, const std::string& folder) {
    using safefile::Fault;
    FileReached = true;
    if (HasFileTarget) {
        ReadyToEncryptAgain(*this);
        LastDecryptName = name;
        LastDecryptFolder = folder;
    }
    ResetFileProgress();

    auto& work = Work();
    Fault fault = EnterFolder(*this, folder);
    if (fault == Fault::None) fault = work.folder->Stat(name, work.facts);
    if (fault != Fault::None) {
        LastError = safefile::ErrorCode(fault);
        return false;
    }
    FileBytes = work.facts.size;

    if (PassedOver(name, folder, work.facts.modified)) return false;
    if (!work.facts.regular) return SkipFile(name, 0);  // never opened or followed, but counted
    if (!EndsInKol(name)) return SkipOtherKind(name, work.facts.size);

    const std::string path = JoinPath(folder, name);
    lblFiles.text = path;
    DoEvents();
    const KeyTable table = BuildKeyTable(CipherKey);

    if (work.facts.multiplyLinked) return SkipFile(name, 57);
    fault = work.source.Open(*work.folder, name, work.facts);
    if (fault == Fault::NotRegular) return false;
    if (fault != Fault::None) return SkipFile(name, safefile::ErrorCode(fault));

    // The key is checked before anything is created: a wrong key writes nothing at all.
    std::string header(1, '\0');
    std::size_t got = 0;
    fault = work.source.Read(header.data(), 1, got);
    if (fault == Fault::None && got == 1) {
        const std::size_t rest = static_cast<unsigned char>(header[0]) + std::size_t{8};
        header.resize(1 + rest);
        fault = work.source.Read(header.data() + 1, rest, got);
        if (got < rest) header.resize(1 + got);
    }
    if (fault != Fault::None) return SkipFile(name, safefile::ErrorCode(fault));

    if (!HeaderMatches(table, header)) {
        const std::string text = path + ": Onjuiste sleutel";
        if (HasFileTarget) {
            MsgBox(text, MsgButtons::OK);
            cmdDecrypt.enabled = true;
            txtPassword_1.text.clear();
            txtPassword_2.text.clear();
            txtPassword_1.enabled = txtPassword_2.enabled = true;
            cmdEncrypt.enabled = false;
            SetFocus(txtPassword_1);
            return false;
        }
        DoEvents();
        if (ExitRequested) {
            LastError = 0;
            FlushPendingOriginals();
            Unload();
            return false;
        }
        svc.screen.SetMousePointer(MousePointer::Default);
        const MsgAnswer answer = MsgBox(text, MsgButtons::OKCancel);
        if (LoggingOn) gLog("SKIP " + name);
        if (answer == MsgAnswer::Cancel) StopRequested = true;
        svc.screen.SetMousePointer(MousePointer::Hourglass);
        ++FilesSkipped;
        ShowPercentage();
        ShowTotalFiles();
        DoEvents();
        return false;
    }

    const int extLength = static_cast<unsigned char>(header[0]);
    const std::string plain = PlainName(name, AnsiToUtf8(header.substr(1, extLength)));
    if (plain.empty() || plain.size() > work.folder->MaxNameBytes()) return SkipFile(name, 57);
    if (!TransformInto(name, plain, extLength, {}, false)) return false;

    name = plain;
    LastDecryptName = plain;
    if (HasFileTarget) {
        ReadyToEncryptAgain(*this);
        const std::string plainPath = JoinPath(LastDecryptFolder, LastDecryptName);
        OpenInViewer(plainPath);
        cmdEncrypt.tooltip = plainPath;
    }
    return true;
}

}  // namespace kolvik
