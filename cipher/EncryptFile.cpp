#include "cipher/FileFormat.h"
#include "cipher/FileWork.h"
#include "mainwindow/PathHelpers.h"

namespace kolvik {

bool frmKolvik::EncryptFile(std::string& name, const std::string& folder) {
    using safefile::Fault;
    FileReached = true;
    if (HasFileTarget) {
        FilesDone = 0;
        lblCopyright.visible = false;
    }
    ResetFileProgress();

    auto& work = Work();
    Fault fault = EnterFolder(*this, folder);
    if (fault == Fault::None) fault = work.folder->Stat(name, work.facts);
    if (fault == Fault::Access) {
        if (MsgBox("Kan geen toegang krijgen tot: " + TargetFolder, MsgButtons::OKCancel) == MsgAnswer::Cancel) {
            if (registrationDialog != nullptr) registrationDialog->Unload();
            cmdExit_Click();
            return false;
        }
        return SkipFile(name, safefile::ErrorCode(fault));
    }
    if (fault != Fault::None) {
        LastError = safefile::ErrorCode(fault);
        return false;
    }
    FileBytes = work.facts.size;
    const std::string ext = GetExtension(name);

    if (PassedOver(name, folder, work.facts.modified)) return false;
    // Links, FIFOs, sockets and devices are never opened or followed; the user still learns
    // that they were left alone.
    if (!work.facts.regular) return SkipFile(name, 0);
    if (EndsInKol(name)) return SkipOtherKind(name, work.facts.size);

    const std::string path = JoinPath(folder, name);
    lblFiles.text = path;
    DoEvents();
    CipherKey = txtPassword_1.text;

    const auto extAnsi = StorableExtension(ext);
    const std::string newName = EncryptedName(name);
    if (!extAnsi || newName.size() > work.folder->MaxNameBytes()) return SkipFile(name, 57);
    // Another name of the same file would keep the plain text.
    if (work.facts.multiplyLinked) return SkipFile(name, 57);
    fault = work.source.Open(*work.folder, name, work.facts);
    if (fault == Fault::NotRegular) return false;  // no longer the file that was listed
    if (fault != Fault::None) return SkipFile(name, safefile::ErrorCode(fault));

    const int extLength = static_cast<int>(extAnsi->size());
    if (!TransformInto(name, newName, extLength, EncryptedHeader(BuildKeyTable(CipherKey), *extAnsi), true)) {
        return false;
    }
    name = JoinPath(folder, newName);
    return true;
}

}  // namespace kolvik
