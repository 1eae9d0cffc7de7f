// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which files a run leaves alone, and why: decided from the name, the folder and what the file
// looked like, before anything of it is read.
#include <string>

#include "engine/Format.h"
#include "engine/LeftReason.h"
#include "engine/TransformSettings.h"
#include "platform/SafeFile.h"

namespace kolvik {

enum class Pass {
    Transform,
    Quietly,        // no trace at all
    Logged,         // counted as skipped and logged, not reported
    Left,           // reported with the reason
    OtherKind,      // of the other direction: skipped, its bytes counted as done
    OtherKindTold,  // as OtherKind, but reported with the reason: nothing of ours protects it
};

struct PassVerdict {
    Pass pass = Pass::Transform;
    LeftReason reason = LeftReason::ReadWriteError;  // Left, OtherKindTold
};

// entered: whether the folder could be claimed for the run; a file of a folder that could not
// is still sorted as ever, and only left once it would be transformed. runLock: the file is a run's
// lock (this run's, or that of the run that kept it out), passed over without a word; any other
// file of that name is named.
PassVerdict JudgeFile(const TransformSettings& settings, const std::string& folder,
                      const std::string& name, const safefile::FileFacts& facts, bool encrypting,
                      safefile::Fault entered, bool runLock);

// Names passed over whatever the file is; such a file is never opened.
bool PassedOverByName(const std::string& name, const std::string& exeName);

// A folder the run may not change: its files are looked at and passed over as ever, and only
// those it would have transformed are left for that reason.
bool Unworkable(safefile::Fault folderFault);

// Why a file that did not open in format is left.
LeftReason Unopened(const Format& format, const std::string& name, bool damaged);

}  // namespace kolvik
