// SPDX-License-Identifier: GPL-3.0-or-later
// The per-file operations, shared by both directions: the pass-over tests, leaving a file as
// it is, and the publish sequence with its grouped deletion of originals.
#include "engine/FileTransformer.h"

#include <algorithm>
#include <cstring>

#include "engine/Ansi.h"
#include "engine/DeletionCrew.h"
#include "engine/EarlierCopy.h"
#include "engine/FileFormat.h"
#include "engine/Formats.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"
#include "engine/Transform.h"
#include "engine/Wipe.h"

namespace kolvik {

using safefile::Fault;

struct FileTransformer::Work {
    // First, so that it ends last: the pending entries below are completed on it.
    DeletionCrew crew;
    std::shared_ptr<safefile::Folder> folder = std::make_shared<safefile::Folder>();
    std::shared_ptr<safefile::Folder> walked;  // handed over by the walk
    Fault entered = Fault::None;               // whether folder could be claimed for the run
    std::vector<safefile::PendingOriginal> pending;
    std::int64_t pendingBytes = 0;
    std::size_t pendingFolders = 0;
    safefile::FileFacts facts;  // of the file in work
    safefile::Source source;
    std::vector<std::uint8_t> buffer;
    Formats formats;
    ~Work() { WipeBytes(buffer); }
};

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

// One attempt at writing the copy; the caller decides whether to try again.
struct FileTransformer::Attempt {
    Fault fault = Fault::None;
    bool stopped = false;         // Exit was pressed: the copy is gone, the original untouched
    bool nameTaken = false;       // the new name held a file that is not this one's copy
    bool earlier = false;         // the new name holds this file's copy, finished by an earlier run
    std::uint64_t copyInode = 0;  // of an earlier copy
    WallClock::time_point copyModified{}, copyChanged{};
    std::unique_ptr<safefile::Copy> written;  // the copy this run wrote, once named
    bool damaged = false;                     // a sealed file whose data does not verify
    std::int64_t earlierSize = 0;             // an earlier copy's, as its header has it
};

// One file's copy: what is written, and where its data begins in the original.
struct FileTransformer::CopyJob {
    const std::string& name;
    const std::string& newName;
    FormatFile& file;
    bool encrypting;
    // A sealed format: an earlier copy in it is known by opening it, not by its bytes, and a
    // discarded plain copy made from it is wiped.
    bool sealed;
    bool ended;              // the data read with the header is all there is
    std::int64_t size;       // of the original
    std::int64_t copySize;   // what an earlier run's finished copy must measure
    std::int64_t dataStart;  // where a second attempt starts reading the original
    bool durableNow;         // synced before it is named, not with its group
};

namespace {

// Names passed over whatever the file is; such a file is never opened.
bool PassedOverByName(const std::string& name, const std::string& exeName) {
    return name == safefile::kRunLockName || IsProgramFile(name, exeName) || IsLogFile(name);
}

// Closes the source on the way out unless it was handed on with its pending original.
struct CloseOnReturn {
    safefile::Source& source;
    explicit CloseOnReturn(safefile::Source& s) : source(s) {}
    CloseOnReturn(const CloseOnReturn&) = delete;
    CloseOnReturn& operator=(const CloseOnReturn&) = delete;
    ~CloseOnReturn() { source.Close(); }
};

// A folder the run may not change: its files are looked at and passed over as ever, and only
// those it would have transformed are left for that reason.
bool Unworkable(Fault folderFault) {
    return folderFault == Fault::Held || folderFault == Fault::Undeletable ||
           folderFault == Fault::Unguarded;
}

bool EndsWithDotKol(const std::string& name) { return EndsWithAnyCase(name, ".kol"); }

// A name that merely ends in kol, without ".kol", that does not open and carries no format's
// mark is taken for a file that never was ours rather than damage or a wrong password.
LeftReason Unopened(const Format& format, const std::string& name, bool damaged) {
    if (!format.Marked() && !EndsWithDotKol(name)) return LeftReason::KolNamePassedOver;
    return damaged ? LeftReason::Damaged : LeftReason::WrongKey;
}

// A claim where the copy goes is what a run killed between claiming a name and filling it
// leaves on file systems without hard links. Only a file that holds Kolvik's mark is one; any
// other, empty or not, is the user's and stays.
void TakeOverClaim(const safefile::Folder& folder, const std::string& newName) {
    safefile::FileFacts facts;
    if (folder.MayHoldClaims() && folder.Stat(newName, facts) == Fault::None && facts.regular &&
        !facts.multiplyLinked) {
        folder.RemoveLeftoverScratch(newName);
    }
}

}  // namespace

FileTransformer::FileTransformer(RunStats& stats, StopFlags& flags, RunReport& report,
                                 RunEvents& events)
    : stats_(stats),
      flags_(flags),
      report_(report),
      events_(events),
      work_(std::make_unique<Work>()) {}

FileTransformer::~FileTransformer() {
    CompletePending();
    WipeText(settings.key);
}

void FileTransformer::UseFolder(std::shared_ptr<safefile::Folder> folder) {
    work_->walked = std::move(folder);
}

void FileTransformer::Release() {
    CompletePending();
    work_->crew.Stop();
    work_->source.Close();
    work_->walked.reset();
    work_->folder = std::make_shared<safefile::Folder>();
    WipeBytes(work_->buffer);
    work_->buffer.shrink_to_fit();
}

void FileTransformer::EndRun() {
    Release();
    work_->formats.EndRun();
    WipeText(settings.key);
}

Fault FileTransformer::EnterFolder(const std::string& folder) {
    auto& work = *work_;
    if (work.folder->IsOpen() && work.folder->Path() == folder) return work.entered;
    if (work.pendingFolders >= kPendingFolders) CompletePending();
    if (work.walked && work.walked->Path() == folder) {
        work.folder = work.walked;
    } else {
        // A fresh folder object: the pending entries keep the one they were made in.
        work.folder = std::make_shared<safefile::Folder>();
        if (const Fault f = work.folder->Open(folder); f != Fault::None) return f;
    }
    // Before anything here changes: a second run would take our fresh copies for an
    // interrupted run's and delete the originals beside them. The pending entries keep the
    // folder, and with it the claim, until their originals are gone.
    work.entered = work.folder->LockForRun(settings.folderPatience);
    if (work.entered == Fault::Unguarded && !report_.sharedTold) {
        report_.sharedTold = true;
        events_.FileSystemNoted(FileSystemNote::Shared, folder,
                                std::string(work.folder->SharedWith()));
    }
    return work.entered;
}

Fault FileTransformer::LookAt(const std::string& name, bool ofThisKind, bool listedRegular) {
    auto& work = *work_;
    work.source.Close();
    // A regular file of this kind is opened at once and described from the open file: one
    // call fewer than looking first. Anything else, or a file whose open fails, is looked at.
    if (listedRegular && ofThisKind && !PassedOverByName(name, settings.exeName)) {
        work.facts = {};
        if (work.source.Open(*work.folder, name, work.facts) == Fault::None) return Fault::None;
    }
    return work.folder->Stat(name, work.facts);
}

void FileTransformer::CompletePending() {
    auto& work = *work_;
    if (work.pending.empty()) return;
    const auto done = safefile::CompletePending(work.pending, work.crew);
    work.pendingBytes = 0;
    work.pendingFolders = 0;
    // Those originals stay and their copies are gone: the files count as skipped after all.
    for (const auto& [entry, fault] : done.failed) {
        --stats_.FilesDone;
        stats_.BytesDone -= entry.countedBytes;
        Leave(entry.folder->Path(), entry.original, ReasonOf(fault));
    }
    // Encrypted all the same; the run just may not end as if nothing were amiss.
    for (const auto& u : done.unwiped) {
        ++report_.notOverwritten;
        events_.NotOverwritten(
            JoinPath(u.folder->Path(), u.original),
            u.fault == Fault::InUse ? LeftReason::NotOverwrittenInUse : LeftReason::NotOverwritten);
    }
}

void FileTransformer::TellIfOldBlocksKept() {
    if (report_.oldBlocksTold) return;
    const std::string_view kind = work_->folder->KeepsOldBlocks();
    if (kind.empty()) return;
    report_.oldBlocksTold = true;
    events_.FileSystemNoted(FileSystemNote::OldBlocksKept, work_->folder->Path(),
                            std::string(kind));
}

void FileTransformer::Leave(const std::string& folder, const std::string& name, LeftReason reason) {
    ++stats_.FilesSkipped;
    events_.Skipped(name);
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

void FileTransformer::LeaveFolder(const std::string& path, LeftReason reason) {
    events_.Skipped(path);
    ++report_.left;
    events_.Left(path, reason);
}

bool FileTransformer::PassedOver(const std::string& name, const std::string& folder,
                                 bool ofThisKind) {
    if (name == safefile::kRunLockName) return true;
    const std::pair identity{work_->facts.device, work_->facts.inode};
    if (std::find(settings.runInputs.begin(), settings.runInputs.end(), identity) !=
        settings.runInputs.end()) {
        Leave(folder, name, LeftReason::RunInput);
        return true;
    }
    const bool program = IsProgramFile(name, settings.exeName);
    if (program && !IsProgramFolder(folder)) {
        // Not the running program, but not protected either: the user is told.
        Leave(folder, name, LeftReason::KolvikOwnFile);
        return true;
    }
    if (IsLogFile(name)) {
        ++stats_.FilesSkipped;
        events_.Skipped(name);
        return true;
    }
    if (program || (IsProgramCompanion(name) && IsProgramFolder(folder))) return true;
    // The walk leaves such folders whole; a file named on its own lands here.
    if (PathHasSkipWord(folder)) {
        Leave(folder, name, LeftReason::SkipWordFolder);
        return true;
    }
    // The copies this run writes keep their originals' times and are never listed again, so
    // whatever is this new was changed by someone after the mode was chosen. A file of the
    // other kind was never to be transformed: nothing to report.
    if (work_->facts.modified >= settings.modeTime) {
        if (ofThisKind) Leave(folder, name, LeftReason::ModifiedAfterModePress);
        return true;
    }
    return false;
}

bool FileTransformer::IsProgramFolder(std::string folder) const {
    std::string home = settings.programFolder;
    for (auto* path : {&folder, &home}) {
        while (path->size() > 1 && (path->back() == '/' || path->back() == kSeparator))
            path->pop_back();
    }
    return kWindowsNames ? EqualsAnyCase(folder, home) : folder == home;
}

void FileTransformer::SkipOtherKind(const std::string& name) {
    ++stats_.FilesSkipped;
    events_.Skipped(name);
    stats_.BytesDone += work_->facts.size;
    events_.CountsChanged();
    events_.Yield();
}

bool FileTransformer::Admit(const std::string& folder, const std::string& name, bool listedRegular,
                            bool encrypting) {
    events_.FileStepBegins();
    Fault entered = Fault::None;
    return LookedAt(folder, name, listedRegular, encrypting, entered) &&
           Sorted(folder, name, encrypting, entered);
}

bool FileTransformer::LookedAt(const std::string& folder, const std::string& name,
                               bool listedRegular, bool encrypting, Fault& entered) {
    entered = EnterFolder(folder);
    Fault fault = Unworkable(entered) ? Fault::None : entered;
    if (fault == Fault::None) fault = LookAt(name, EndsInKol(name) != encrypting, listedRegular);
    // Only encryption asks whether to go on without access; decryption just leaves the file.
    if (fault == Fault::Access && encrypting) {
        if (events_.GoOnWithoutAccess()) Leave(folder, name, LeftReason::AccessDenied);
        return false;
    }
    // Gone since the folder was listed: nothing is left behind.
    if (fault == Fault::NotFound) return false;
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), false;
    stats_.FileBytes = work_->facts.size;
    return true;
}

bool FileTransformer::Sorted(const std::string& folder, const std::string& name, bool encrypting,
                             Fault entered) {
    auto& work = *work_;
    const bool ofThisKind = EndsInKol(name) != encrypting;
    if (PassedOver(name, folder, ofThisKind)) return false;
    // Links, FIFOs, sockets and devices are never opened or followed.
    if (!work.facts.regular) return Leave(folder, name, LeftReason::NotRegularFile), false;
    if (encrypting && !ofThisKind && !EndsWithDotKol(name)) {
        // Passed over like an encrypted file, but nothing of ours protects it: said so.
        stats_.BytesDone += work.facts.size;
        Leave(folder, name, LeftReason::KolNamePassedOver);
        events_.Yield();
        return false;
    }
    if (!ofThisKind) return SkipOtherKind(name), false;
    if (entered != Fault::None) return Leave(folder, name, ReasonOf(entered)), false;
    return true;
}

bool FileTransformer::HoldOriginal(const std::string& folder, const std::string& name) {
    auto& work = *work_;
    // Another name of the same file would keep the old form.
    if (work.facts.multiplyLinked) return Leave(folder, name, LeftReason::SeveralNames), false;
    Fault fault = work.source.IsOpen() ? work.source.TakeLease()
                                       : work.source.Open(*work.folder, name, work.facts, true);
    // No longer the file that was listed: someone replaced it meanwhile.
    if (fault == Fault::NotRegular) fault = Fault::Changed;
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), false;
    return true;
}

FileOutcome FileTransformer::Encrypt(const std::string& folder, const std::string& name,
                                     bool listedRegular) {
    auto& work = *work_;
    const CloseOnReturn closeSource{work.source};
    if (!Admit(folder, name, listedRegular, true)) return {};

    events_.FileStarted(JoinPath(folder, name));
    WrittenFormat& format =
        work.formats.Writing(settings.strong, settings.modeTime, settings.strongCost);
    const std::string ext = GetExtension(name);
    const std::string newName = EncryptedName(name);
    // Only a name that decryption gives back, by its strict rule for names from a header.
    if (!format.HoldsExtension(ext) || PlainName(newName, ext) != name ||
        newName.size() > work.folder->MaxNameBytes()) {
        return Leave(folder, name, LeftReason::NameUnusable), FileOutcome{};
    }
    if (!HoldOriginal(folder, name)) return {};
    std::unique_ptr<FormatFile> file;
    if (!format.Begin(ext, settings.key, file)) {
        work.source.Close();
        return Leave(folder, name, LeftReason::ReadWriteError), FileOutcome{};
    }
    return Transform(name, newName, *file, true, format.Sealed());
}

FileOutcome FileTransformer::Decrypt(const std::string& folder, const std::string& name,
                                     bool listedRegular) {
    auto& work = *work_;
    const CloseOnReturn closeSource{work.source};
    if (!Admit(folder, name, listedRegular, false)) return {};

    events_.FileStarted(JoinPath(folder, name));
    if (!HoldOriginal(folder, name)) return {};
    // The key is checked before anything is created: a wrong key writes nothing at all. The
    // header is read with the first block of data: a small file takes one read.
    std::size_t got = 0;
    if (const Fault fault = ReadFirstBlock(got); fault != Fault::None) {
        work.source.Close();
        return Leave(folder, name, ReasonOf(fault)), FileOutcome{};
    }
    const std::string_view leading(reinterpret_cast<const char*>(work.buffer.data() + kStreamHead),
                                   got);
    Format& format = work.formats.Reading(leading);
    std::unique_ptr<FormatFile> file;
    const Opening opening = format.Open(leading, settings.key, file);
    if (opening != Opening::Opened) {
        work.source.Close();
        if (opening == Opening::Refused)
            return Leave(folder, name, LeftReason::ReadWriteError), FileOutcome{};
        return Refuse(folder, name, Unopened(format, name, opening == Opening::Damaged));
    }
    // When the header and the name disagree, the header wins.
    const std::string plain = PlainName(name, file->Extension());
    if (plain.empty() || plain.size() > work.folder->MaxNameBytes()) {
        work.source.Close();
        return Leave(folder, name, LeftReason::NameUnusable), FileOutcome{};
    }
    const std::size_t headerSize = file->HeaderSize();
    return Transform(name, plain, *file, false, format.Sealed(), kStreamHead + headerSize,
                     got - headerSize, got < kStreamBlock);
}

Fault FileTransformer::ReadFirstBlock(std::size_t& got) {
    auto& work = *work_;
    PrepareStreamBuffer(work.buffer);
    return work.source.Read(work.buffer.data() + kStreamHead, kStreamBlock, got);
}

FileOutcome FileTransformer::Refuse(const std::string& folder, const std::string& name,
                                    LeftReason unopenable) {
    const std::string path = JoinPath(folder, name);
    if (unopenable == LeftReason::WrongKey) ++report_.wrongKeys;
    if (settings.singleFile) {
        // Said once, in the window's own words; not counted or logged.
        events_.TellUnopenable(path, unopenable);
        ++report_.left;
        events_.Left(path, unopenable);
        return {FileResult::Unopenable, {}};
    }
    if (unopenable != LeftReason::WrongKey) return Leave(folder, name, unopenable), FileOutcome{};
    events_.Yield();
    if (flags_.ExitRequested) {
        CompletePending();
        events_.Exited();
        return {FileResult::Stopped, {}};
    }
    if (events_.AskWrongKey(path) == WrongKeyAnswer::Stop) {
        flags_.StopRequested = report_.stoppedOnWrongKey = true;
    }
    Leave(folder, name, LeftReason::WrongKey);
    events_.Yield();
    return {};
}

// ---- An earlier run's sealed copy: opened with the password and compared with the original.

bool FileTransformer::MatchSealedCopy(const CopyJob& job, EarlierCopy& earlier, Attempt& a) {
    // An earlier run wrote other random bytes than this one would, perhaps in an older version
    // of the format: its copy is this file's when it opens with the password and holds exactly
    // the original's bytes. Its size follows from its own header.
    if ((a.fault = earlier.Open(*work_->folder, job.newName, -1)) != Fault::None) return false;
    std::unique_ptr<FormatFile> file;
    return OpensAsCopy(job, earlier, file, a.fault) &&
           SameAsOriginal(earlier, *file, a.fault, a.stopped);
}

bool FileTransformer::OpensAsCopy(const CopyJob& job, EarlierCopy& earlier,
                                  std::unique_ptr<FormatFile>& file, Fault& fault) {
    auto& work = *work_;
    std::string head(kStreamHead, '\0');
    std::size_t got = 0;
    if ((fault = earlier.File().Read(head.data(), head.size(), got)) != Fault::None) return false;
    head.resize(got);
    fault = Fault::Exists;
    Format& format = work.formats.Reading(head);
    if (!format.Sealed() || format.Open(head, settings.key, file) != Opening::Opened ||
        file->Extension() != GetExtension(job.name) ||
        file->Sizes(job.size, true).copySize != earlier.Size()) {
        return false;
    }
    return (fault = earlier.File().Seek(static_cast<std::int64_t>(file->HeaderSize()))) ==
           Fault::None;
}

bool FileTransformer::SameAsOriginal(EarlierCopy& earlier, FormatFile& file, Fault& fault,
                                     bool& stopped) {
    auto& work = *work_;
    std::vector<std::uint8_t> original;
    const BlockSink sameAsOriginal = [&](const std::uint8_t* data, std::size_t n) {
        original.resize(n);
        std::size_t read = 0;
        if (const Fault f = work.source.Read(original.data(), n, read); f != Fault::None) return f;
        return read == n && std::memcmp(original.data(), data, n) == 0 ? Fault::None
                                                                       : Fault::Exists;
    };
    bool damaged = false;
    const StreamHooks hooks = Hooks(false);
    const StreamEnd end = file.Stream({.source = earlier.File(),
                                       .sink = sameAsOriginal,
                                       .encrypting = false,
                                       .hooks = hooks,
                                       .buffer = work.buffer,
                                       .fault = fault,
                                       .damaged = damaged});
    WipeBytes(original);
    stopped = end == StreamEnd::Stopped;
    if (end != StreamEnd::Done) {
        if (damaged) fault = Fault::Exists;
        return false;
    }
    // The original must end where the copy does.
    std::uint8_t more = 0;
    std::size_t got = 0;
    if ((fault = work.source.Read(&more, 1, got)) != Fault::None) return false;
    fault = got == 0 ? Fault::None : Fault::Exists;
    if (got == 0) earlier.MatchedWhole();
    return got == 0;
}

FileOutcome FileTransformer::Transform(const std::string& name, const std::string& newName,
                                       FormatFile& file, bool encrypting, bool sealed,
                                       std::size_t preloadedFirst, std::size_t preloadedSize,
                                       bool ended) {
    const std::int64_t size = work_->facts.size;
    const Layout layout = file.Sizes(size, encrypting);
    const CopyJob job{.name = name,
                      .newName = newName,
                      .file = file,
                      .encrypting = encrypting,
                      .sealed = sealed,
                      .ended = ended,
                      .size = size,
                      .copySize = layout.copySize,
                      .dataStart = layout.dataStart,
                      .durableNow = settings.singleFile || size >= kSyncAlone};
    Attempt a = WriteWithRoom(job, preloadedFirst, preloadedSize);
    if (auto unwritten = Unwritten(job, a)) return *unwritten;
    ScheduleDeletion(job, a);
    if (!CompleteGroupIfDue()) return {};
    events_.Transformed(newName, !encrypting);
    events_.Yield();
    return {FileResult::Done, newName};
}

FileTransformer::Attempt FileTransformer::WriteWithRoom(const CopyJob& job, std::size_t first,
                                                        std::size_t preloaded) {
    auto& work = *work_;
    Attempt a = TryOnce(job, first, preloaded);
    if (a.fault == Fault::DiskFull && !a.stopped && !work.pending.empty()) {
        // The originals waiting for their group's sync hold space that their copies need no
        // more: once they are gone, this file may fit.
        CompletePending();
        if (work.source.Seek(job.dataStart) == Fault::None) a = TryOnce(job, 0, 0);
    }
    return a;
}

// The name may hold the finished copy of an interrupted run: then the bytes this run writes are
// compared with it instead, and any difference leaves both files. No look beforehand: a taken
// name shows when naming the copy is refused, or when the copy failed (the comparison needs no
// room).
FileTransformer::Attempt FileTransformer::TryOnce(const CopyJob& job, std::size_t first,
                                                  std::size_t preloaded) {
    auto& work = *work_;
    TakeOverClaim(*work.folder, job.newName);
    Attempt a = WriteCopy(job, first, preloaded);
    if (a.stopped || a.damaged || a.fault == Fault::None || !work.folder->Exists(job.newName))
        return a;
    if (const Fault f = work.source.Seek(job.dataStart); f != Fault::None) {
        a.fault = f;
        return a;
    }
    return MatchEarlier(job);
}

FileTransformer::Attempt FileTransformer::WriteCopy(const CopyJob& job, std::size_t first,
                                                    std::size_t preloaded) {
    auto& work = *work_;
    Attempt a;
    auto copy = std::make_unique<safefile::Copy>();
    // Verified chunks of a strong file that then fails to open must not stay on the device.
    if (job.sealed && !job.encrypting) copy->WipeWhenDiscarded();
    a.fault = copy->Create(*work.folder, job.newName);
    if (a.fault == Fault::None) {
        const BlockSink sink = [&copy](const std::uint8_t* data, std::size_t n) {
            return copy->Write(data, n);
        };
        if (StreamCopy(job, sink, a, first, preloaded) == StreamEnd::Done)
            a.fault = copy->Publish(job.newName, work.facts, job.durableNow);
    }
    if (a.fault == Fault::None) a.written = std::move(copy);
    return a;
}

FileTransformer::Attempt FileTransformer::MatchEarlier(const CopyJob& job) {
    Attempt a;
    a.earlier = true;
    EarlierCopy earlier;
    const bool matched = job.sealed && job.encrypting ? MatchSealedCopy(job, earlier, a)
                                                      : MatchBytes(job, earlier, a);
    if (matched) {
        a.fault = earlier.Finish();
        a.earlierSize = earlier.Size();
        a.copyInode = earlier.Inode();
        a.copyModified = earlier.Modified();
        a.copyChanged = earlier.Changed();
    }
    a.nameTaken = a.fault == Fault::Exists || a.fault == Fault::NotRegular;
    return a;
}

bool FileTransformer::MatchBytes(const CopyJob& job, EarlierCopy& earlier, Attempt& a) {
    a.fault = earlier.Open(*work_->folder, job.newName, job.copySize);
    if (a.fault != Fault::None) return false;
    const BlockSink sink = [&earlier](const std::uint8_t* data, std::size_t n) {
        return earlier.Match(data, n);
    };
    return StreamCopy(job, sink, a, 0, 0) == StreamEnd::Done;
}

// first is 0 only when nothing was read with the header (a second attempt).
StreamEnd FileTransformer::StreamCopy(const CopyJob& job, const BlockSink& sink, Attempt& a,
                                      std::size_t first, std::size_t preloaded) {
    auto& work = *work_;
    const StreamHooks hooks = Hooks(true);
    const StreamEnd end = job.file.Stream({.source = work.source,
                                           .sink = sink,
                                           .encrypting = job.encrypting,
                                           .hooks = hooks,
                                           .buffer = work.buffer,
                                           .preloadedFirst = first,
                                           .preloadedSize = preloaded,
                                           .sourceEnded = job.ended,
                                           .fault = a.fault,
                                           .damaged = a.damaged});
    a.stopped = end == StreamEnd::Stopped;
    return end;
}

StreamHooks FileTransformer::Hooks(bool withProgress) {
    StreamHooks hooks;
    hooks.proceed = [this] {
        events_.Yield();
        return !flags_.ExitRequested;
    };
    if (withProgress)
        hooks.progress = [this](std::int64_t position) { events_.Progress(position); };
    return hooks;
}

std::optional<FileOutcome> FileTransformer::Unwritten(const CopyJob& job, const Attempt& a) {
    auto& work = *work_;
    if (a.stopped) {
        work.source.Close();
        CompletePending();
        events_.Exited();
        return FileOutcome{FileResult::Stopped, {}};
    }
    if (a.damaged) {
        work.source.Close();
        return Refuse(work.folder->Path(), job.name, LeftReason::Damaged);
    }
    if (a.fault != Fault::None) {
        work.source.Close();
        Leave(work.folder->Path(), job.name,
              a.nameTaken ? LeftReason::NameTaken : ReasonOf(a.fault));
        return FileOutcome{};
    }
    return std::nullopt;
}

void FileTransformer::ScheduleDeletion(const CopyJob& job, Attempt& a) {
    auto& work = *work_;
    ++stats_.FilesDone;
    stats_.BytesDone += job.size;
    events_.CountsChanged();
    if (work.pending.empty() || work.pending.back().folder != work.folder) ++work.pendingFolders;
    safefile::PendingOriginal entry;
    entry.folder = work.folder;
    entry.original = job.name;
    entry.copy = job.newName;
    entry.originalFacts = work.facts;
    entry.copyFile = std::move(a.written);
    entry.copyInode = a.copyInode;
    entry.copySize = a.earlier ? a.earlierSize : job.copySize;
    entry.earlierModified = a.copyModified;
    entry.earlierChanged = a.copyChanged;
    entry.countedBytes = job.size;
    entry.copyDurable = job.durableNow || a.earlier;
    entry.earlierCopy = a.earlier;
    // Only the strong format promises that nothing of the original stays readable.
    entry.overwrite = settings.strong && job.encrypting;
    if (entry.overwrite) TellIfOldBlocksKept();
    // A leased original stays open until it is deleted, so that the lease can still tell;
    // any other is closed now.
    if (work.source.Leased()) entry.leased = std::move(work.source);
    work.source.Close();
    work.pending.push_back(std::move(entry));
    work.pendingBytes += job.size;
}

bool FileTransformer::CompleteGroupIfDue() {
    auto& work = *work_;
    if (settings.singleFile || work.pending.size() >= kPendingFiles ||
        work.pendingBytes >= kPendingBytes) {
        const std::int64_t skippedBefore = stats_.FilesSkipped;
        CompletePending();
        if (stats_.FilesSkipped != skippedBefore && settings.singleFile) return false;
    }
    return true;
}

}  // namespace kolvik
