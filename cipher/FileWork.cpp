// The parts that encryption and decryption share: the pass-over tests, skipping, and the
// publish sequence with its grouped deletion of originals.
#include "cipher/FileWork.h"

#include <algorithm>

#include "cipher/EarlierCopy.h"
#include "cipher/Transform.h"
#include "mainwindow/PathHelpers.h"

namespace kolvik {

frmKolvik::~frmKolvik() {
    FlushPendingOriginals();
    delete fileWork;
}

frmKolvik::FileWork& frmKolvik::Work() {
    if (fileWork == nullptr) fileWork = new FileWork;
    return *fileWork;
}

safefile::Fault EnterFolder(frmKolvik& form, const std::string& folder) {
    auto& work = form.Work();
    if (work.folder->IsOpen() && work.folder->Path() == folder) return safefile::Fault::None;
    if (work.pendingFolders >= kPendingFolders) form.FlushPendingOriginals();
    // A fresh folder object: the pending entries keep the one they were made in.
    work.folder = std::make_shared<safefile::Folder>();
    return work.folder->Open(folder);
}

void frmKolvik::FlushPendingOriginals() {
    if (fileWork == nullptr || fileWork->pending.empty()) return;
    const auto failed = safefile::CompletePending(fileWork->pending);
    fileWork->pendingBytes = 0;
    fileWork->pendingFolders = 0;
    // Those originals stay and their copies are gone: the files count as skipped after all.
    for (const auto& entry : failed) {
        --FilesDone;
        BytesDone -= entry.countedBytes;
        ++FilesSkipped;
        if (LoggingOn) gLog("SKIP " + entry.original);
        LastError = 57;
    }
    if (!failed.empty()) {
        ShowTotalFiles();
        ShowPercentage();
    }
}

bool frmKolvik::PassedOver(const std::string& name, const std::string& folder,
                           WallClock::time_point modified) {
    if (name == "Kolvik.exe") return true;
    if (name == "Kolvik.log") {
        ++FilesSkipped;
        if (LoggingOn) gLog("SKIP " + name);
        return true;
    }
    if (name == svc.process.exeName || name == "kolvik" || name == "kolvik-cli") return true;
    if (PathHasSkipWord(folder)) return true;
    // Also every copy this run has written: it keeps the mtime of its original, so a folder's
    // list is taken once, before its files are transformed.
    return modified >= ModeTime;
}

bool frmKolvik::SkipFile(const std::string& name, int errorCode) {
    ++FilesSkipped;
    if (LoggingOn) gLog("SKIP " + name);
    LastError = errorCode;
    ShowPercentage();
    ShowTotalFiles();
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

bool frmKolvik::TransformInto(const std::string& name, const std::string& newName, int extLength,
                              const std::string& header, bool encrypting) {
    using safefile::Fault;
    auto& work = Work();
    const std::int64_t size = work.facts.size;
    // The name may hold the finished copy of an interrupted run: then the bytes this run would
    // write are compared with it instead, and any difference leaves both files as they are.
    const bool nameTaken = work.folder->Exists(newName);
    const auto skip = [&](Fault f) {
        return SkipFile(name, nameTaken ? 58 : safefile::ErrorCode(f));
    };
    safefile::Copy copy;
    EarlierCopy earlier;
    BlockSink sink;
    if (nameTaken) {
        const std::int64_t copySize = encrypting
                                          ? static_cast<std::int64_t>(header.size()) + size + 1
                                          : std::max<std::int64_t>(0, size - extLength - 10);
        const Fault f = earlier.Open(*work.folder, newName, copySize);
        if (f != Fault::None) return skip(f);
        sink = [&earlier](const std::uint8_t* data, std::size_t n) {
            return earlier.Match(data, n);
        };
    } else {
        if (const Fault f = copy.Create(*work.folder, newName); f != Fault::None) return skip(f);
        sink = [&copy](const std::uint8_t* data, std::size_t n) { return copy.Write(data, n); };
    }
    if (!header.empty()) {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(header.data());
        if (const Fault f = sink(bytes, header.size()); f != Fault::None) return skip(f);
    }
    StreamHooks hooks;
    hooks.proceed = [this] {
        DoEvents();
        return !ExitRequested;
    };
    hooks.progress = [this](std::int64_t position) { ShowFileProgress(position); };
    Fault fault = Fault::None;
    const StreamEnd end = StreamData(work.source, sink, Keystream(BuildKeyTable(CipherKey)),
                                     extLength, encrypting, work.buffer, hooks, fault);
    if (end == StreamEnd::Stopped) {
        copy.Discard();
        LastError = 0;
        FlushPendingOriginals();
        Unload();
        return false;
    }
    if (end == StreamEnd::Failed) return skip(fault);
    const bool durableNow = nameTaken || HasFileTarget || size >= kSyncAlone;
    const Fault done = nameTaken ? earlier.Finish() : copy.Publish(newName, work.facts, durableNow);
    if (done != Fault::None) return skip(done);

    ++FilesDone;
    BytesDone += size;
    ShowTotalFiles();
    ShowPercentage();
    const std::uint64_t copyInode = nameTaken ? earlier.Inode() : copy.Inode();
    if (work.pending.empty() || work.pending.back().folder != work.folder) ++work.pendingFolders;
    work.pending.push_back(
        {work.folder, name, newName, work.facts.inode, copyInode, size, durableNow, nameTaken});
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
