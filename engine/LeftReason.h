// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Why a run left a file (or a folder) in its old form. Every such file is counted as skipped,
// logged with "SKIP " when logging is on, and handed to the run's listener with its reason.
namespace kolvik {

enum class LeftReason {
    ModifiedAfterModePress,  // dated at or after the press of the mode button
    ChangedDuringRun,        // another program changed it while it was transformed
    InUse,                   // another program holds it open for writing
    NotRegularFile,          // a link, FIFO, socket or device
    SeveralNames,            // hard links: the other names would keep the old content
    NameTaken,               // the new name exists and is not this file's finished copy
    NameUnusable,            // the new name would be empty, too long or unsafe
    WrongKey,
    Damaged,  // too short for its header
    DiskFull,
    AccessDenied,
    NotFound,
    ReadWriteError,
    SkipWordFolder,    // a folder whose path holds one of the skip words
    FolderBecameLink,  // a folder replaced by a link while the run was busy
    FolderUnreadable,
    PropertiesNotKept,  // its copy could not carry its ACL, xattrs or flags
    HeldByOtherRun,     // another Kolvik run works in the folder
    Unguarded,          // no lease: a writer could go unnoticed
    KolNamePassedOver,  // a name ending in kol that is no encrypted file of ours
    KolvikOwnFile,      // named like Kolvik's own programs or log, outside their folders
    Undeletable,        // append-only or immutable (chattr), or in such a folder
    OtherMount,         // a folder that is another mount: the run stays on its own
    RunInput,           // the file this run read its password from
    NotReached,         // the run stopped before it came to this file or folder
    // Not left: encrypted in the strong format, but its old bytes were not overwritten.
    NotOverwritten,
    NotOverwrittenInUse,  // another program still had it open
};

}  // namespace kolvik
