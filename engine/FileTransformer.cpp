// SPDX-License-Identifier: GPL-3.0-or-later
// The per-file operations, shared by both directions: the pass-over tests, leaving a file as
// it is, and the publish sequence with its grouped deletion of originals.
#include "engine/FileTransformer.h"

#include <algorithm>

#include "engine/Ansi.h"
#include "engine/DeletionCrew.h"
#include "engine/EarlierCopy.h"
#include "engine/FileFormat.h"
#include "engine/PathHelpers.h"
#include "engine/Transform.h"

namespace kolvik {

using safefile::Fault;

struct FileTransformer::Work {
    // First, so that it ends last: the pending entries below are completed on it.
    DeletionCrew crew;
    std::shared_ptr<safefile::Folder> folder = std::make_shared<safefile::Folder>();
    std::shared_ptr<safefile::Folder> walked;  // handed over by the walk
    std::vector<safefile::PendingOriginal> pending;
    std::int64_t pendingBytes = 0;
    std::size_t pendingFolders = 0;
    safefile::FileFacts facts;  // of the file in work
    safefile::Source source;
    std::vector<std::uint8_t> buffer;
    // Worked out once per key rather than once per file: for small files it is much of the work.
    std::string keyOf;
    KeyTable table;
    std::unique_ptr<Keystream> keystream;

    const KeyTable& Table(const std::string& key) {
        if (!keystream || key != keyOf) {
            table = BuildKeyTable(key);
            keystream = std::make_unique<Keystream>(table);
            keyOf = key;
        }
        return table;
    }
    const Keystream& Stream(const std::string& key) {
        Table(key);
        return *keystream;
    }
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
        case Fault::InUse:
            return LeftReason::InUse;
        case Fault::Changed:
            return LeftReason::ChangedDuringRun;
        case Fault::Unkeepable:
            return LeftReason::PropertiesNotKept;
        case Fault::None:
        case Fault::Io:
            break;
    }
    return LeftReason::ReadWriteError;
}

namespace {

// One attempt at writing the copy; the caller decides whether to try again.
struct Attempt {
    Fault fault = Fault::None;
    bool stopped = false;         // Exit was pressed: the copy is gone, the original untouched
    bool nameTaken = false;       // the new name held a file that is not this one's copy
    bool earlier = false;         // the new name holds this file's copy, finished by an earlier run
    std::uint64_t copyInode = 0;  // of an earlier copy
    std::unique_ptr<safefile::Copy> written;  // the copy this run wrote, once named
};

// Names passed over whatever the file is; such a file is never opened.
bool PassedOverByName(const std::string& name, const std::string& exeName) {
    return name == "Kolvik.exe" || name == "Kolvik.log" || name == exeName || name == "kolvik" ||
           name == "kolvik-cli";
}

// Closes the source on the way out unless it was handed on with its pending original.
struct CloseOnReturn {
    safefile::Source& source;
    explicit CloseOnReturn(safefile::Source& s) : source(s) {}
    CloseOnReturn(const CloseOnReturn&) = delete;
    CloseOnReturn& operator=(const CloseOnReturn&) = delete;
    ~CloseOnReturn() { source.Close(); }
};

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

FileTransformer::~FileTransformer() { CompletePending(); }

void FileTransformer::UseFolder(std::shared_ptr<safefile::Folder> folder) {
    work_->walked = std::move(folder);
}

void FileTransformer::Release() {
    CompletePending();
    work_->crew.Stop();
    work_->source.Close();
    work_->walked.reset();
    work_->folder = std::make_shared<safefile::Folder>();
}

Fault FileTransformer::EnterFolder(const std::string& folder) {
    auto& work = *work_;
    if (work.folder->IsOpen() && work.folder->Path() == folder) return Fault::None;
    if (work.pendingFolders >= kPendingFolders) CompletePending();
    if (work.walked && work.walked->Path() == folder) {
        work.folder = work.walked;
        return Fault::None;
    }
    // A fresh folder object: the pending entries keep the one they were made in.
    work.folder = std::make_shared<safefile::Folder>();
    return work.folder->Open(folder);
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
    const auto failed = safefile::CompletePending(work.pending, work.crew);
    work.pendingBytes = 0;
    work.pendingFolders = 0;
    // Those originals stay and their copies are gone: the files count as skipped after all.
    for (const auto& [entry, fault] : failed) {
        --stats_.FilesDone;
        stats_.BytesDone -= entry.countedBytes;
        Leave(entry.folder->Path(), entry.original, ReasonOf(fault));
    }
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
    if (name == "Kolvik.exe") return true;
    if (name == "Kolvik.log") {
        ++stats_.FilesSkipped;
        events_.Skipped(name);
        return true;
    }
    if (name == settings.exeName || name == "kolvik" || name == "kolvik-cli") return true;
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

void FileTransformer::SkipOtherKind(const std::string& name) {
    ++stats_.FilesSkipped;
    events_.Skipped(name);
    stats_.BytesDone += work_->facts.size;
    events_.CountsChanged();
    events_.Yield();
}

FileOutcome FileTransformer::Encrypt(const std::string& folder, const std::string& name,
                                     bool listedRegular) {
    events_.FileStepBegins();
    auto& work = *work_;
    const CloseOnReturn closeSource{work.source};
    Fault fault = EnterFolder(folder);
    if (fault == Fault::None) fault = LookAt(name, !EndsInKol(name), listedRegular);
    if (fault == Fault::Access) {
        if (events_.GoOnWithoutAccess()) Leave(folder, name, LeftReason::AccessDenied);
        return {};
    }
    // Gone since the folder was listed: nothing is left behind.
    if (fault == Fault::NotFound) return {};
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), FileOutcome{};
    stats_.FileBytes = work.facts.size;
    const bool plain = !EndsInKol(name);
    if (PassedOver(name, folder, plain)) return {};
    // Links, FIFOs, sockets and devices are never opened or followed.
    if (!work.facts.regular) return Leave(folder, name, LeftReason::NotRegularFile), FileOutcome{};
    if (!plain) return SkipOtherKind(name), FileOutcome{};

    events_.FileStarted(JoinPath(folder, name));
    const auto extAnsi = StorableExtension(GetExtension(name));
    const std::string newName = EncryptedName(name);
    if (!extAnsi || newName.size() > work.folder->MaxNameBytes()) {
        return Leave(folder, name, LeftReason::NameUnusable), FileOutcome{};
    }
    // Another name of the same file would keep the plain text.
    if (work.facts.multiplyLinked)
        return Leave(folder, name, LeftReason::SeveralNames), FileOutcome{};
    fault = work.source.IsOpen() ? work.source.TakeLease()
                                 : work.source.Open(*work.folder, name, work.facts, true);
    // No longer the file that was listed: someone replaced it meanwhile.
    if (fault == Fault::NotRegular) fault = Fault::Changed;
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), FileOutcome{};
    const int extLength = static_cast<int>(extAnsi->size());
    return Transform(name, newName, extLength, EncryptedHeader(work.Table(settings.key), *extAnsi),
                     true);
}

FileOutcome FileTransformer::Decrypt(const std::string& folder, const std::string& name,
                                     bool listedRegular) {
    events_.FileStepBegins();
    auto& work = *work_;
    const CloseOnReturn closeSource{work.source};
    Fault fault = EnterFolder(folder);
    if (fault == Fault::None) fault = LookAt(name, EndsInKol(name), listedRegular);
    // Gone since the folder was listed: nothing is left behind.
    if (fault == Fault::NotFound) return {};
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), FileOutcome{};
    stats_.FileBytes = work.facts.size;
    const bool encrypted = EndsInKol(name);
    if (PassedOver(name, folder, encrypted)) return {};
    if (!work.facts.regular) return Leave(folder, name, LeftReason::NotRegularFile), FileOutcome{};
    if (!encrypted) return SkipOtherKind(name), FileOutcome{};

    const std::string path = JoinPath(folder, name);
    events_.FileStarted(path);
    const KeyTable& table = work.Table(settings.key);
    if (work.facts.multiplyLinked)
        return Leave(folder, name, LeftReason::SeveralNames), FileOutcome{};
    fault = work.source.IsOpen() ? work.source.TakeLease()
                                 : work.source.Open(*work.folder, name, work.facts, true);
    if (fault == Fault::NotRegular) fault = Fault::Changed;
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), FileOutcome{};

    // The key is checked before anything is created: a wrong key writes nothing at all. The
    // header is read with the first block of data: a small file takes one read.
    PrepareStreamBuffer(work.buffer);
    const std::uint8_t* const block = work.buffer.data() + kStreamHead;
    std::size_t got = 0;
    fault = work.source.Read(work.buffer.data() + kStreamHead, kStreamBlock, got);
    const std::size_t headerSize = 9 + std::size_t{got > 0 ? block[0] : 0U};
    const std::string header(reinterpret_cast<const char*>(block), std::min(got, headerSize));
    const bool damaged = fault == Fault::None && got < headerSize;
    if (fault != Fault::None || damaged || !HeaderMatches(table, header)) work.source.Close();
    if (fault != Fault::None) return Leave(folder, name, ReasonOf(fault)), FileOutcome{};
    const LeftReason unopenable = damaged ? LeftReason::Damaged : LeftReason::WrongKey;
    if (damaged || !HeaderMatches(table, header)) {
        // Too short to hold even its header, no password could open it: damaged.
        if (!damaged) ++report_.wrongKeys;
        if (settings.singleFile) {
            // Said once, in the window's own words; not counted or logged.
            events_.TellUnopenable(path, unopenable);
            ++report_.left;
            events_.Left(path, unopenable);
            return {FileResult::Unopenable, {}};
        }
        if (damaged) return Leave(folder, name, LeftReason::Damaged), FileOutcome{};
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

    const int extLength = static_cast<unsigned char>(header[0]);
    const std::string plain = PlainName(name, AnsiToUtf8(header.substr(1, extLength)));
    if (plain.empty() || plain.size() > work.folder->MaxNameBytes()) {
        work.source.Close();
        return Leave(folder, name, LeftReason::NameUnusable), FileOutcome{};
    }
    return Transform(name, plain, extLength, {}, false, kStreamHead + headerSize, got - headerSize);
}

FileOutcome FileTransformer::Transform(const std::string& name, const std::string& newName,
                                       int extLength, const std::string& header, bool encrypting,
                                       std::size_t preloadedFirst, std::size_t preloadedSize) {
    auto& work = *work_;
    const std::int64_t size = work.facts.size;
    const std::int64_t copySize = encrypting ? static_cast<std::int64_t>(header.size()) + size + 1
                                             : std::max<std::int64_t>(0, size - extLength - 10);
    const std::int64_t dataStart = encrypting ? 0 : extLength + 9;
    const bool durableNow = settings.singleFile || size >= kSyncAlone;

    // Writes the copy, or with compare matches the bytes against the file the new name holds.
    const auto attempt = [&](bool compare, std::size_t first, std::size_t preloaded) {
        Attempt a;
        a.earlier = compare;
        auto copy = std::make_unique<safefile::Copy>();
        EarlierCopy earlier;
        BlockSink sink;
        if (compare) {
            a.fault = earlier.Open(*work.folder, newName, copySize);
            sink = [&earlier](const std::uint8_t* data, std::size_t n) {
                return earlier.Match(data, n);
            };
        } else {
            a.fault = copy->Create(*work.folder, newName);
            sink = [&copy](const std::uint8_t* data, std::size_t n) {
                return copy->Write(data, n);
            };
        }
        if (a.fault == Fault::None) {
            StreamHooks hooks;
            hooks.proceed = [this] {
                events_.Yield();
                return !flags_.ExitRequested;
            };
            hooks.progress = [this](std::int64_t position) { events_.Progress(position); };
            const StreamEnd end =
                StreamData(work.source, sink, work.Stream(settings.key), extLength, encrypting,
                           work.buffer, hooks, a.fault, header, first, preloaded);
            a.stopped = end == StreamEnd::Stopped;
            if (end == StreamEnd::Done) {
                a.fault =
                    compare ? earlier.Finish() : copy->Publish(newName, work.facts, durableNow);
                if (compare) a.copyInode = earlier.Inode();
            }
        }
        a.nameTaken = compare && (a.fault == Fault::Exists || a.fault == Fault::NotRegular);
        if (!compare && a.fault == Fault::None) a.written = std::move(copy);
        return a;
    };
    // The name may hold the finished copy of an interrupted run: then the bytes this run writes
    // are compared with it instead, and any difference leaves both files. No look beforehand:
    // a taken name shows when naming the copy is refused, or when the copy failed (the
    // comparison needs no room).
    const auto tryOnce = [&](std::size_t first, std::size_t preloaded) {
        TakeOverClaim(*work.folder, newName);
        Attempt a = attempt(false, first, preloaded);
        if (a.stopped || a.fault == Fault::None || !work.folder->Exists(newName)) return a;
        if (const Fault f = work.source.Seek(dataStart); f != Fault::None) {
            a.fault = f;
            return a;
        }
        return attempt(true, 0, 0);
    };

    Attempt a = tryOnce(preloadedFirst, preloadedSize);
    if (a.fault == Fault::DiskFull && !a.stopped && !work.pending.empty()) {
        // The originals waiting for their group's sync hold space that their copies need no
        // more: once they are gone, this file may fit.
        CompletePending();
        if (work.source.Seek(dataStart) == Fault::None) a = tryOnce(0, 0);
    }
    if (a.stopped) {
        work.source.Close();
        CompletePending();
        events_.Exited();
        return {FileResult::Stopped, {}};
    }
    if (a.fault != Fault::None) {
        work.source.Close();
        Leave(work.folder->Path(), name, a.nameTaken ? LeftReason::NameTaken : ReasonOf(a.fault));
        return {};
    }

    ++stats_.FilesDone;
    stats_.BytesDone += size;
    events_.CountsChanged();
    if (work.pending.empty() || work.pending.back().folder != work.folder) ++work.pendingFolders;
    safefile::PendingOriginal entry;
    entry.folder = work.folder;
    entry.original = name;
    entry.copy = newName;
    entry.originalFacts = work.facts;
    entry.copyFile = std::move(a.written);
    entry.copyInode = a.copyInode;
    entry.countedBytes = size;
    entry.copyDurable = durableNow || a.earlier;
    entry.earlierCopy = a.earlier;
    // A leased original stays open until it is deleted, so that the lease can still tell;
    // any other is closed now.
    if (work.source.Leased()) entry.leased = std::move(work.source);
    work.source.Close();
    work.pending.push_back(std::move(entry));
    work.pendingBytes += size;
    if (settings.singleFile || work.pending.size() >= kPendingFiles ||
        work.pendingBytes >= kPendingBytes) {
        const std::int64_t skippedBefore = stats_.FilesSkipped;
        CompletePending();
        if (stats_.FilesSkipped != skippedBefore && settings.singleFile) return {};
    }
    events_.Transformed(newName, !encrypting);
    events_.Yield();
    return {FileResult::Done, newName};
}

}  // namespace kolvik
