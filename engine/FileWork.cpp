// The parts that encryption and decryption share: the pass-over tests, leaving a file as it
// is, and the publish sequence with its grouped deletion of originals.
#include "engine/FileWork.h"

#include <algorithm>

#include "engine/EarlierCopy.h"
#include "engine/Transform.h"
#include "engine/PathHelpers.h"

namespace kolvik {

using safefile::Fault;

frmKolvik::~frmKolvik() { FlushPendingOriginals(); }

void frmKolvik::FileWorkDeleter::operator()(FileWork* work) const { delete work; }

frmKolvik::FileWork& frmKolvik::Work() {
    if (!fileWork) fileWork.reset(new FileWork);
    return *fileWork;
}

void frmKolvik::ReleaseFiles() {
    if (!fileWork) return;
    FlushPendingOriginals();
    fileWork->source.Close();
    fileWork->walked.reset();
    fileWork->folder = std::make_shared<safefile::Folder>();
}

Fault EnterFolder(frmKolvik& form, const std::string& folder) {
    auto& work = form.Work();
    if (work.folder->IsOpen() && work.folder->Path() == folder) return Fault::None;
    if (work.pendingFolders >= kPendingFolders) form.FlushPendingOriginals();
    if (work.walked && work.walked->Path() == folder) {
        work.folder = work.walked;
        return Fault::None;
    }
    // A fresh folder object: the pending entries keep the one they were made in.
    work.folder = std::make_shared<safefile::Folder>();
    return work.folder->Open(folder);
}

LeftReason ReasonOf(Fault fault) {
    switch (fault) {
    case Fault::NotFound: return LeftReason::NotFound;
    case Fault::Access: return LeftReason::AccessDenied;
    case Fault::DiskFull: return LeftReason::DiskFull;
    case Fault::NotRegular: return LeftReason::NotRegularFile;
    case Fault::Exists: return LeftReason::NameTaken;
    case Fault::NameTooLong: return LeftReason::NameUnusable;
    case Fault::IsLink: return LeftReason::FolderBecameLink;
    case Fault::InUse: return LeftReason::InUse;
    case Fault::Changed: return LeftReason::ChangedDuringRun;
    case Fault::None:
    case Fault::Io: break;
    }
    return LeftReason::ReadWriteError;
}

namespace {

int ErrorCodeOf(LeftReason reason) {
    switch (reason) {
    case LeftReason::DiskFull: return 61;
    case LeftReason::AccessDenied: return 70;
    case LeftReason::NotFound: return 76;
    default: return 57;
    }
}

}  // namespace

void frmKolvik::FlushPendingOriginals() {
    if (!fileWork || fileWork->pending.empty()) return;
    const auto failed = safefile::CompletePending(fileWork->pending);
    fileWork->pendingBytes = 0;
    fileWork->pendingFolders = 0;
    // Those originals stay and their copies are gone: the files count as skipped after all.
    for (const auto& [entry, fault] : failed) {
        --FilesDone;
        BytesDone -= entry.countedBytes;
        LeaveFile(entry.original, entry.folder->Path(), ReasonOf(fault));
    }
}

bool frmKolvik::LeaveFile(const std::string& name, const std::string& folder, LeftReason reason) {
    ++FilesSkipped;
    if (LoggingOn) gLog("SKIP " + name);
    ++Report.left;
    if (FileLeft) FileLeft(JoinPath(folder, name), reason);
    LastError = ErrorCodeOf(reason);
    ShowPercentage();
    ShowTotalFiles();
    if (reason == LeftReason::DiskFull && !Report.diskFull) {
        // Nothing more fits: the run stops here rather than fail on every file after this.
        Report.diskFull = true;
        StopRequested = true;
        MsgBox("Schijf vol: " + folder, MsgButtons::OK, MsgIcon::Exclamation);
    }
    return false;
}

void frmKolvik::LeaveFolder(const std::string& path, LeftReason reason) {
    if (LoggingOn) gLog("SKIP " + path);
    ++Report.left;
    if (FileLeft) FileLeft(path, reason);
}

bool frmKolvik::PassedOver(const std::string& name, const std::string& folder,
                           WallClock::time_point modified, bool ofThisKind) {
    if (name == "Kolvik.exe") return true;
    if (name == "Kolvik.log") {
        ++FilesSkipped;
        if (LoggingOn) gLog("SKIP " + name);
        return true;
    }
    if (name == svc.process.exeName || name == "kolvik" || name == "kolvik-cli") return true;
    // The walk leaves such folders whole; a file named on its own lands here.
    if (PathHasSkipWord(folder)) return !LeaveFile(name, folder, LeftReason::SkipWordFolder);
    // The copies this run writes keep their originals' times and are never listed again, so
    // whatever is this new was changed by someone after the mode was chosen.
    // A file of the other kind was never to be transformed: nothing to report.
    if (modified >= ModeTime) {
        return !ofThisKind || !LeaveFile(name, folder, LeftReason::ModifiedAfterModePress);
    }
    return false;
}

bool frmKolvik::SkipOtherKind(const std::string& name, std::int64_t size) {
    ++FilesSkipped;
    if (LoggingOn) gLog("SKIP " + name);
    BytesDone += size;
    ShowPercentage();
    ShowTotalFiles();
    DoEvents();
    return false;
}

namespace {

// One attempt at writing the copy; the caller decides whether to try again.
struct Attempt {
    Fault fault = Fault::None;
    bool stopped = false;   // Exit was pressed: the copy is gone, the original untouched
    bool nameTaken = false;  // the new name held a file that is not this one's copy
    bool earlier = false;    // the new name holds this file's copy, finished by an earlier run
    std::uint64_t copyInode = 0;
};

// An empty file where the copy goes is what a run killed between claiming a name and filling
// it leaves on file systems without hard links. It holds no byte, so it is taken over there;
// elsewhere it can only be the user's, and stays.
void TakeOverEmptyClaim(const safefile::Folder& folder, const std::string& newName,
                        std::int64_t copySize) {
    safefile::FileFacts facts;
    if (copySize == 0 || !folder.MayHoldClaims() || folder.Stat(newName, facts) != Fault::None) {
        return;
    }
    if (facts.regular && !facts.multiplyLinked && facts.size == 0) {
        (void)folder.Remove(newName, facts.inode);
    }
}

}  // namespace

bool frmKolvik::TransformInto(const std::string& name, const std::string& newName, int extLength,
                              const std::string& header, bool encrypting) {
    auto& work = Work();
    const std::int64_t size = work.facts.size;
    const std::int64_t copySize = encrypting ? static_cast<std::int64_t>(header.size()) + size + 1
                                             : std::max<std::int64_t>(0, size - extLength - 10);
    const std::int64_t dataStart = encrypting ? 0 : extLength + 9;
    const bool durableNow = HasFileTarget || size >= kSyncAlone;

    const auto attempt = [&]() {
        Attempt a;
        TakeOverEmptyClaim(*work.folder, newName, copySize);
        // The name may hold the finished copy of an interrupted run: then the bytes this run
        // would write are compared with it instead, and any difference leaves both files.
        a.earlier = work.folder->Exists(newName);
        safefile::Copy copy;
        EarlierCopy earlier;
        BlockSink sink;
        if (a.earlier) {
            a.fault = earlier.Open(*work.folder, newName, copySize);
            sink = [&earlier](const std::uint8_t* data, std::size_t n) { return earlier.Match(data, n); };
        } else {
            a.fault = copy.Create(*work.folder, newName);
            sink = [&copy](const std::uint8_t* data, std::size_t n) { return copy.Write(data, n); };
        }
        if (a.fault == Fault::None && !header.empty()) {
            a.fault = sink(reinterpret_cast<const std::uint8_t*>(header.data()), header.size());
        }
        if (a.fault == Fault::None) {
            StreamHooks hooks;
            hooks.proceed = [this] {
                DoEvents();
                return !ExitRequested;
            };
            hooks.progress = [this](std::int64_t position) { ShowFileProgress(position); };
            const StreamEnd end = StreamData(work.source, sink, Keystream(BuildKeyTable(CipherKey)),
                                             extLength, encrypting, work.buffer, hooks, a.fault);
            a.stopped = end == StreamEnd::Stopped;
            if (end == StreamEnd::Done) {
                a.fault = a.earlier ? earlier.Finish()
                                    : copy.Publish(newName, work.facts, durableNow);
                a.copyInode = a.earlier ? earlier.Inode() : copy.Inode();
            }
        }
        a.nameTaken = a.earlier && (a.fault == Fault::Exists || a.fault == Fault::NotRegular);
        return a;
    };

    Attempt a = attempt();
    if (a.fault == Fault::DiskFull && !a.stopped && !work.pending.empty()) {
        // The originals waiting for their group's sync hold space that their copies need no
        // more: once they are gone, this file may fit.
        FlushPendingOriginals();
        if (work.source.Seek(dataStart) == Fault::None) a = attempt();
    }
    if (a.stopped) {
        work.source.Close();
        LastError = 0;
        FlushPendingOriginals();
        Unload();
        return false;
    }
    if (a.fault != Fault::None) {
        work.source.Close();
        return LeaveFile(name, work.folder->Path(),
                         a.nameTaken ? LeftReason::NameTaken : ReasonOf(a.fault));
    }

    ++FilesDone;
    BytesDone += size;
    ShowTotalFiles();
    ShowPercentage();
    if (work.pending.empty() || work.pending.back().folder != work.folder) ++work.pendingFolders;
    safefile::PendingOriginal entry{work.folder, name, newName, work.facts, {}, a.copyInode,
                                    size, durableNow || a.earlier, a.earlier};
    // A leased original stays open until it is deleted, so that the lease can still tell;
    // any other is closed now.
    if (work.source.Leased()) entry.leased = std::move(work.source);
    work.source.Close();
    work.pending.push_back(std::move(entry));
    work.pendingBytes += size;
    if (HasFileTarget || work.pending.size() >= kPendingFiles || work.pendingBytes >= kPendingBytes) {
        const std::int64_t skippedBefore = FilesSkipped;
        FlushPendingOriginals();
        if (FilesSkipped != skippedBefore && HasFileTarget) return false;
    }
    DoEvents();
    return true;
}

}  // namespace kolvik
