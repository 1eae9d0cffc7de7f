// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/CopyAttempt.h"

#include <utility>

#include "engine/EarlierCopies.h"

namespace kolvik {

using safefile::Fault;

namespace {

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

CopyAttempt WriteCopy(const CopyTools& tools, const CopyJob& job, std::size_t first,
                      std::size_t preloaded) {
    auto copy = std::make_unique<safefile::Copy>();
    // Verified chunks of a strong file that then fails to open must not stay on the device.
    if (job.sealed && !job.encrypting) copy->WipeWhenDiscarded();
    if (const Fault f = copy->Create(tools.folder, job.newName, tools.facts.mode); f != Fault::None)
        return CopyAttempt{f};
    const BlockSink sink = [&copy](const std::uint8_t* data, std::size_t n) {
        return copy->Write(data, n);
    };
    CopyAttempt a = StreamCopy(tools, job, sink, first, preloaded);
    if (a.Ok()) a.fault = copy->Publish(job.newName, tools.facts, job.durableNow);
    if (a.fault == Fault::None) a.written = std::move(copy);
    return a;
}

}  // namespace

// The name may hold the finished copy of an interrupted run: then the bytes this run writes are
// compared with it instead, and any difference leaves both files. No look beforehand: a taken
// name shows when naming the copy is refused, or when the copy failed (the comparison needs no
// room).
CopyAttempt TryCopy(const CopyTools& tools, const CopyJob& job, std::size_t first,
                    std::size_t preloaded) {
    TakeOverClaim(tools.folder, job.newName);
    CopyAttempt a = WriteCopy(tools, job, first, preloaded);
    if (a.stopped || a.damaged || a.fault == Fault::None || !tools.folder.Exists(job.newName))
        return a;
    if (const Fault f = tools.source.Seek(job.dataStart); f != Fault::None) {
        a.fault = f;
        return a;
    }
    return MatchEarlier(tools, job);
}

CopyAttempt StreamCopy(const CopyTools& tools, const CopyJob& job, const BlockSink& sink,
                       std::size_t first, std::size_t preloaded) {
    CopyAttempt a;
    const StreamEnd end = job.file.Stream({.source = tools.source,
                                           .sink = sink,
                                           .encrypting = job.encrypting,
                                           .hooks = tools.hooks,
                                           .buffer = tools.buffer,
                                           .preloadedFirst = first,
                                           .preloadedSize = preloaded,
                                           .sourceEnded = job.ended,
                                           .fault = a.fault,
                                           .damaged = a.damaged});
    return AfterStream(end, std::move(a));
}

CopyAttempt AfterStream(StreamEnd end, CopyAttempt a) {
    a.stopped = end == StreamEnd::Stopped;
    if (end == StreamEnd::Failed && a.fault == Fault::None) a.fault = Fault::Io;
    return a;
}

}  // namespace kolvik
