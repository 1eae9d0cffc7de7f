#include "engine/FileFormat.h"
#include "engine/FileWork.h"
#include "engine/PathHelpers.h"

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
        return LeaveFile(name, folder, LeftReason::AccessDenied);
    }
    // Gone since the folder was listed: nothing is left behind.
    if (fault == Fault::NotFound) {
        LastError = safefile::ErrorCode(fault);
        return false;
    }
    if (fault != Fault::None) return LeaveFile(name, folder, ReasonOf(fault));
    FileBytes = work.facts.size;
    const std::string ext = GetExtension(name);

    if (PassedOver(name, folder, work.facts.modified, !EndsInKol(name))) return false;
    // Links, FIFOs, sockets and devices are never opened or followed.
    if (!work.facts.regular) return LeaveFile(name, folder, LeftReason::NotRegularFile);
    if (EndsInKol(name)) return SkipOtherKind(name, work.facts.size);

    const std::string path = JoinPath(folder, name);
    lblFiles.text = path;
    DoEvents();
    CipherKey = txtPassword_1.text;

    const auto extAnsi = StorableExtension(ext);
    const std::string newName = EncryptedName(name);
    if (!extAnsi || newName.size() > work.folder->MaxNameBytes()) {
        return LeaveFile(name, folder, LeftReason::NameUnusable);
    }
    // Another name of the same file would keep the plain text.
    if (work.facts.multiplyLinked) return LeaveFile(name, folder, LeftReason::SeveralNames);
    fault = work.source.Open(*work.folder, name, work.facts, true);
    // No longer the file that was listed: someone replaced it meanwhile.
    if (fault == Fault::NotRegular) return LeaveFile(name, folder, LeftReason::ChangedDuringRun);
    if (fault != Fault::None) return LeaveFile(name, folder, ReasonOf(fault));

    const int extLength = static_cast<int>(extAnsi->size());
    if (!TransformInto(name, newName, extLength, EncryptedHeader(BuildKeyTable(CipherKey), *extAnsi), true)) {
        return false;
    }
    name = JoinPath(folder, newName);
    return true;
}

}  // namespace kolvik
