// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/LeftFiles.h"

#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

void LeftFiles::Leave(const std::string& folder, const std::string& name, LeftReason reason) {
    Skip(name);
    ++report_.left;
    events_.Left(JoinPath(folder, name), reason);
    events_.CountsChanged();
    if (reason == LeftReason::DiskFull && !report_.diskFull) {
        // Nothing more fits: the run stops here rather than fail on every file after this.
        report_.diskFull = true;
        flags_.StopRequested = true;
        events_.DiskFull(folder);
    }
}

void LeftFiles::LeaveFolder(const std::string& path, LeftReason reason) {
    events_.Skipped(path);
    ++report_.left;
    events_.Left(path, reason);
}

void LeftFiles::Skip(const std::string& name) {
    ++stats_.FilesSkipped;
    events_.Skipped(name);
}

LeftReason ReasonOf(Fault fault) {
    switch (fault) {
        case Fault::NotFound:
            return LeftReason::NotFound;
        case Fault::Access:
            return LeftReason::AccessDenied;
        case Fault::DiskFull:
            return LeftReason::DiskFull;
        case Fault::NotRegular:
            return LeftReason::NotRegularFile;
        case Fault::Exists:
            return LeftReason::NameTaken;
        case Fault::NameTooLong:
            return LeftReason::NameUnusable;
        case Fault::IsLink:
            return LeftReason::FolderBecameLink;
        case Fault::OtherMount:
            return LeftReason::OtherMount;
        case Fault::InUse:
            return LeftReason::InUse;
        case Fault::Changed:
            return LeftReason::ChangedDuringRun;
        case Fault::Unkeepable:
            return LeftReason::PropertiesNotKept;
        case Fault::Held:
            return LeftReason::HeldByOtherRun;
        case Fault::Unguarded:
            return LeftReason::Unguarded;
        case Fault::BadName:
            return LeftReason::NameUnusable;
        case Fault::Undeletable:
            return LeftReason::Undeletable;
        case Fault::None:
        case Fault::Io:
            break;
    }
    return LeftReason::ReadWriteError;
}

}  // namespace kolvik
