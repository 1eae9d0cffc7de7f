// SPDX-License-Identifier: GPL-3.0-or-later
// One file's sequence, the same for both directions: the folder claimed, the file sorted, the
// original held, the copy attempted, the original handed to its deletion group.
#include "engine/FileTransformer.h"

#include "engine/CopyAttempt.h"
#include "engine/DeletionGroups.h"
#include "engine/FileFormat.h"
#include "engine/Formats.h"
#include "engine/NameRules.h"
#include "engine/PassOver.h"
#include "engine/PathHelpers.h"
#include "engine/Transform.h"
#include "engine/Wipe.h"

namespace kolvik {

using safefile::Fault;

struct FileTransformer::Work {
    Work(RunStats& stats, RunReport& report, RunEvents& events, LeftFiles& left)
        : groups(stats, report, events, left) {}
    // First, so that it ends last: the pending entries hold the folders and files below.
    DeletionGroups groups;
    std::shared_ptr<safefile::Folder> folder = std::make_shared<safefile::Folder>();
    std::shared_ptr<safefile::Folder> walked;  // handed over by the walk
    Fault entered = Fault::None;               // whether folder could be claimed for the run
    safefile::FileFacts facts;                 // of the file in work
    safefile::Source source;
    std::vector<std::uint8_t> buffer;
    Formats formats;
    ~Work() { WipeBytes(buffer); }
};

namespace {

// Closes the source on the way out unless it was handed on with its pending original.
struct CloseOnReturn {
    safefile::Source& source;
    explicit CloseOnReturn(safefile::Source& s) : source(s) {}
    CloseOnReturn(const CloseOnReturn&) = delete;
    CloseOnReturn& operator=(const CloseOnReturn&) = delete;
    ~CloseOnReturn() { source.Close(); }
};

}  // namespace

FileTransformer::FileTransformer(RunStats& stats, StopFlags& flags, RunReport& report,
                                 RunEvents& events)
    : stats_(stats),
      flags_(flags),
      report_(report),
      events_(events),
      left_(stats, flags, report, events),
      work_(std::make_unique<Work>(stats, report, events, left_)) {}

FileTransformer::~FileTransformer() {
    CompletePending();
    WipeText(settings.key);
}

void FileTransformer::UseFolder(std::shared_ptr<safefile::Folder> folder) {
    work_->walked = std::move(folder);
}

void FileTransformer::Leave(const std::string& folder, const std::string& name, LeftReason reason) {
    left_.Leave(folder, name, reason);
}

void FileTransformer::LeaveFolder(const std::string& path, LeftReason reason) {
    left_.LeaveFolder(path, reason);
}

FileOutcome FileTransformer::Left(const std::string& folder, const std::string& name,
                                  LeftReason reason) {
    left_.Leave(folder, name, reason);
    return {};
}

void FileTransformer::CompletePending() { (void)work_->groups.Complete(); }

void FileTransformer::Release() {
    CompletePending();
    work_->groups.Stop();
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
    if (work.groups.FoldersFull()) CompletePending();
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

void FileTransformer::SkipOtherKind(const std::string& name) {
    left_.Skip(name);
    stats_.BytesDone += work_->facts.size;
    events_.CountsChanged();
    events_.Yield();
}

bool FileTransformer::Admit(const std::string& folder, const std::string& name, bool listedRegular,
                            bool encrypting) {
    events_.FileStepBegins();
    const Fault entered = EnterFolder(folder);
    return LookedAt(folder, name, listedRegular, encrypting, entered) &&
           Sorted(folder, name, encrypting, entered);
}

bool FileTransformer::LookedAt(const std::string& folder, const std::string& name,
                               bool listedRegular, bool encrypting, Fault entered) {
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
    const bool runLock =
        name == safefile::kRunLockName &&
        (entered != Fault::None || work_->folder->IsRunLockFile(work_->facts.inode));
    const PassVerdict verdict =
        JudgeFile(settings, folder, name, work_->facts, encrypting, entered, runLock);
    switch (verdict.pass) {
        case Pass::Transform:
            return true;
        case Pass::Quietly:
            break;
        case Pass::Logged:
            left_.Skip(name);
            break;
        case Pass::Left:
            Leave(folder, name, verdict.reason);
            break;
        case Pass::OtherKind:
            SkipOtherKind(name);
            break;
        case Pass::OtherKindTold:
            stats_.BytesDone += work_->facts.size;
            Leave(folder, name, verdict.reason);
            events_.Yield();
            break;
    }
    return false;
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
        return Left(folder, name, LeftReason::NameUnusable);
    }
    if (!HoldOriginal(folder, name)) return {};
    std::unique_ptr<FormatFile> file;
    if (!format.Begin(ext, settings.key, file)) {
        work.source.Close();
        return Left(folder, name, LeftReason::ReadWriteError);
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
    PrepareStreamBuffer(work.buffer);
    std::size_t got = 0;
    if (const Fault fault = work.source.Read(work.buffer.data() + kStreamHead, kStreamBlock, got);
        fault != Fault::None) {
        work.source.Close();
        return Left(folder, name, ReasonOf(fault));
    }
    const std::string_view leading(reinterpret_cast<const char*>(work.buffer.data() + kStreamHead),
                                   got);
    Format& format = work.formats.Reading(leading);
    std::unique_ptr<FormatFile> file;
    const Opening opening = format.Open(leading, settings.key, file);
    if (opening != Opening::Opened) {
        work.source.Close();
        if (opening == Opening::Refused) return Left(folder, name, LeftReason::ReadWriteError);
        return Refuse(folder, name, Unopened(format, name, opening == Opening::Damaged));
    }
    // When the header and the name disagree, the header wins.
    const std::string plain = PlainName(name, file->Extension());
    if (plain.empty() || plain.size() > work.folder->MaxNameBytes()) {
        work.source.Close();
        return Left(folder, name, LeftReason::NameUnusable);
    }
    const std::size_t headerSize = file->HeaderSize();
    return Transform(name, plain, *file, false, format.Sealed(), kStreamHead + headerSize,
                     got - headerSize, got < kStreamBlock);
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
    if (unopenable != LeftReason::WrongKey) return Left(folder, name, unopenable);
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

FileOutcome FileTransformer::Transform(const std::string& name, const std::string& newName,
                                       FormatFile& file, bool encrypting, bool sealed,
                                       std::size_t preloadedFirst, std::size_t preloadedSize,
                                       bool ended) {
    auto& work = *work_;
    const std::int64_t size = work.facts.size;
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
    StreamHooks hooks;
    hooks.proceed = [this] {
        events_.Yield();
        return !flags_.ExitRequested;
    };
    hooks.progress = [this](std::int64_t position) { events_.Progress(position); };
    const CopyTools tools{.folder = *work.folder,
                          .source = work.source,
                          .facts = work.facts,
                          .buffer = work.buffer,
                          .hooks = hooks,
                          .formats = work.formats,
                          .key = settings.key};
    CopyAttempt a = WriteWithRoom(tools, job, preloadedFirst, preloadedSize);
    if (auto unwritten = Unwritten(job, a)) return *unwritten;
    ScheduleDeletion(job, std::move(a));
    if (!CompleteGroupIfDue()) return {};
    events_.Transformed(newName, !encrypting);
    events_.Yield();
    return {FileResult::Done, newName};
}

CopyAttempt FileTransformer::WriteWithRoom(const CopyTools& tools, const CopyJob& job,
                                           std::size_t first, std::size_t preloaded) {
    CopyAttempt a = TryCopy(tools, job, first, preloaded);
    if (a.fault == Fault::DiskFull && !a.stopped && !work_->groups.Empty()) {
        // The originals waiting for their group's sync hold space that their copies need no
        // more: once they are gone, this file may fit.
        CompletePending();
        if (tools.source.Seek(job.dataStart) == Fault::None) a = TryCopy(tools, job, 0, 0);
    }
    return a;
}

std::optional<FileOutcome> FileTransformer::Unwritten(const CopyJob& job, const CopyAttempt& a) {
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
        return Left(work.folder->Path(), job.name,
                    a.nameTaken ? LeftReason::NameTaken : ReasonOf(a.fault));
    }
    return std::nullopt;
}

void FileTransformer::ScheduleDeletion(const CopyJob& job, CopyAttempt a) {
    auto& work = *work_;
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
    // A leased original stays open until it is deleted, so that the lease can still tell;
    // any other is closed now.
    if (work.source.Leased()) entry.leased = std::move(work.source);
    work.source.Close();
    work.groups.Add(std::move(entry));
}

bool FileTransformer::CompleteGroupIfDue() {
    if (settings.singleFile) return work_->groups.Complete() == 0;
    // The run goes on meanwhile; what the group left is told at the next completion.
    if (work_->groups.Due()) work_->groups.CompleteLater();
    return true;
}

}  // namespace kolvik
