#include "engine/Ansi.h"
#include "engine/FileFormat.h"
#include "engine/FileWork.h"
#include "engine/PathHelpers.h"

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
    // Gone since the folder was listed: nothing is left behind.
    if (fault == Fault::NotFound) {
        LastError = safefile::ErrorCode(fault);
        return false;
    }
    if (fault != Fault::None) return LeaveFile(name, folder, ReasonOf(fault));
    FileBytes = work.facts.size;

    if (PassedOver(name, folder, work.facts.modified, EndsInKol(name))) return false;
    if (!work.facts.regular) return LeaveFile(name, folder, LeftReason::NotRegularFile);
    if (!EndsInKol(name)) return SkipOtherKind(name, work.facts.size);

    const std::string path = JoinPath(folder, name);
    lblFiles.text = path;
    DoEvents();
    const KeyTable table = BuildKeyTable(CipherKey);

    if (work.facts.multiplyLinked) return LeaveFile(name, folder, LeftReason::SeveralNames);
    fault = work.source.Open(*work.folder, name, work.facts, true);
    if (fault == Fault::NotRegular) return LeaveFile(name, folder, LeftReason::ChangedDuringRun);
    if (fault != Fault::None) return LeaveFile(name, folder, ReasonOf(fault));

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
    if (fault != Fault::None) {
        work.source.Close();
        return LeaveFile(name, folder, ReasonOf(fault));
    }
    // Too short to hold even its header: no password could open it.
    if (header.size() < 9 + std::size_t{static_cast<unsigned char>(header[0])}) {
        work.source.Close();
        if (HasFileTarget) MsgBox(path + ": " + std::string(LeftReasonText(LeftReason::Damaged)));
        return LeaveFile(name, folder, LeftReason::Damaged);
    }

    if (!HeaderMatches(table, header)) {
        work.source.Close();
        ++Report.wrongKeys;
        const std::string text = path + ": Onjuiste sleutel";
        if (HasFileTarget) {
            MsgBox(text, MsgButtons::OK);
            ++Report.left;
            if (FileLeft) FileLeft(path, LeftReason::WrongKey);
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
        if (answer == MsgAnswer::Cancel) StopRequested = Report.stoppedOnWrongKey = true;
        svc.screen.SetMousePointer(MousePointer::Hourglass);
        LeaveFile(name, folder, LeftReason::WrongKey);
        LastError = 0;
        DoEvents();
        return false;
    }

    const int extLength = static_cast<unsigned char>(header[0]);
    const std::string plain = PlainName(name, AnsiToUtf8(header.substr(1, extLength)));
    if (plain.empty() || plain.size() > work.folder->MaxNameBytes()) {
        work.source.Close();
        return LeaveFile(name, folder, LeftReason::NameUnusable);
    }
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
