// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/PassOver.h"

#include <algorithm>

#include "engine/FileFormat.h"
#include "engine/LeftFiles.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

namespace {

bool EndsWithDotKol(const std::string& name) { return EndsWithAnyCase(name, ".kol"); }

// folder is home, whatever separators end either.
bool IsProgramFolder(std::string folder, std::string home) {
    for (auto* path : {&folder, &home}) {
        while (path->size() > 1 && (path->back() == '/' || path->back() == kSeparator))
            path->pop_back();
    }
    return kWindowsNames ? EqualsAnyCase(folder, home) : folder == home;
}

PassVerdict LeftFor(LeftReason reason) { return {Pass::Left, reason}; }

// The tests both directions share, before the file's type and kind are looked at.
PassVerdict ByNameAndDate(const TransformSettings& settings, const std::string& folder,
                          const std::string& name, const safefile::FileFacts& facts,
                          bool ofThisKind, bool runLock) {
    if (name == safefile::kRunLockName)
        return runLock ? PassVerdict{Pass::Quietly} : LeftFor(LeftReason::KolvikOwnFile);
    const std::pair identity{facts.device, facts.inode};
    if (std::find(settings.runInputs.begin(), settings.runInputs.end(), identity) !=
        settings.runInputs.end()) {
        return LeftFor(LeftReason::RunInput);
    }
    const bool program = IsProgramFile(name, settings.exeName);
    // Not the running program, but not protected either: the user is told.
    if (program && !IsProgramFolder(folder, settings.programFolder))
        return LeftFor(LeftReason::KolvikOwnFile);
    if (IsLogFile(name)) {
        return IsProgramFolder(folder, settings.logFolder) ? PassVerdict{Pass::Logged}
                                                           : LeftFor(LeftReason::KolvikOwnFile);
    }
    if (program || (IsProgramCompanion(name) && IsProgramFolder(folder, settings.programFolder)))
        return {Pass::Quietly};
    // The walk leaves such folders whole; a file named on its own lands here.
    if (PathHasSkipWord(folder)) return LeftFor(LeftReason::SkipWordFolder);
    // The copies this run writes keep their originals' times and are never listed again, so
    // whatever is this new was changed by someone after the mode was chosen. A file of the
    // other kind was never to be transformed: nothing to report.
    if (facts.modified >= settings.modeTime) {
        return ofThisKind ? LeftFor(LeftReason::ModifiedAfterModePress)
                          : PassVerdict{Pass::Quietly};
    }
    return {Pass::Transform};
}

}  // namespace

PassVerdict JudgeFile(const TransformSettings& settings, const std::string& folder,
                      const std::string& name, const safefile::FileFacts& facts, bool encrypting,
                      Fault entered, bool runLock) {
    const bool ofThisKind = EndsInKol(name) != encrypting;
    if (const PassVerdict v = ByNameAndDate(settings, folder, name, facts, ofThisKind, runLock);
        v.pass != Pass::Transform) {
        return v;
    }
    // Links, FIFOs, sockets and devices are never opened or followed.
    if (!facts.regular) return LeftFor(LeftReason::NotRegularFile);
    // Passed over like an encrypted file, but nothing of ours protects it: said so.
    if (encrypting && !ofThisKind && !EndsWithDotKol(name))
        return {Pass::OtherKindTold, LeftReason::KolNamePassedOver};
    if (!ofThisKind) return {Pass::OtherKind};
    if (entered != Fault::None) return LeftFor(ReasonOf(entered));
    return {Pass::Transform};
}

bool PassedOverByName(const std::string& name, const std::string& exeName) {
    return name == safefile::kRunLockName || IsProgramFile(name, exeName) || IsLogFile(name);
}

bool Unworkable(Fault folderFault) {
    return folderFault == Fault::Held || folderFault == Fault::Undeletable ||
           folderFault == Fault::Unguarded;
}

// A name that merely ends in kol, without ".kol", that does not open and carries no format's
// mark is taken for a file that never was ours rather than damage or a wrong password.
LeftReason Unopened(const Format& format, const std::string& name, bool damaged) {
    if (!format.Marked() && !EndsWithDotKol(name)) return LeftReason::KolNamePassedOver;
    return damaged ? LeftReason::Damaged : LeftReason::WrongKey;
}

}  // namespace kolvik
