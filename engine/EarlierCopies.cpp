// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/EarlierCopies.h"

#include <cstring>
#include <utility>

#include "engine/EarlierCopy.h"
#include "engine/PathHelpers.h"
#include "engine/Wipe.h"

namespace kolvik {

using safefile::Fault;

namespace {

CopyAttempt MatchBytes(const CopyTools& tools, const CopyJob& job, EarlierCopy& earlier) {
    if (const Fault f = earlier.Open(tools.folder, job.newName, job.copySize); f != Fault::None)
        return CopyAttempt{f};
    const BlockSink sink = [&earlier](const std::uint8_t* data, std::size_t n) {
        return earlier.Match(data, n);
    };
    return StreamCopy(tools, job, sink, 0, 0);
}

struct OpenedCopy {
    Fault fault = Fault::None;
    std::unique_ptr<FormatFile> file;
};

// The copy's header opened with the password; the copy then stands at its data.
OpenedCopy OpenAsCopy(const CopyTools& tools, const CopyJob& job, EarlierCopy& earlier) {
    OpenedCopy opened;
    std::string head(kStreamHead, '\0');
    std::size_t got = 0;
    if ((opened.fault = earlier.File().Read(head.data(), head.size(), got)) != Fault::None)
        return opened;
    opened.fault = Fault::Exists;
    head.resize(got);
    Format& format = tools.formats.Reading(head);
    if (!format.Sealed() || format.Open(head, tools.key, opened.file) != Opening::Opened ||
        opened.file->Extension() != GetExtension(job.name) ||
        opened.file->Sizes(job.size, true).copySize != earlier.Size()) {
        return opened;
    }
    opened.fault = earlier.File().Seek(static_cast<std::int64_t>(opened.file->HeaderSize()));
    return opened;
}

// The copy decrypts to exactly the original's bytes, and the original ends where it does.
CopyAttempt SameAsOriginal(const CopyTools& tools, EarlierCopy& earlier, FormatFile& file) {
    std::vector<std::uint8_t> original;
    const BlockSink sameAsOriginal = [&](const std::uint8_t* data, std::size_t n) {
        original.resize(n);
        std::size_t read = 0;
        if (const Fault f = tools.source.Read(original.data(), n, read); f != Fault::None) return f;
        return read == n && std::memcmp(original.data(), data, n) == 0 ? Fault::None
                                                                       : Fault::Exists;
    };
    CopyAttempt a;
    // Damage here is the copy's, not the original's: it is simply not this file's copy.
    bool damaged = false;
    const StreamHooks quiet{.proceed = tools.hooks.proceed, .progress = {}};
    const StreamEnd end = file.Stream({.source = earlier.File(),
                                       .sink = sameAsOriginal,
                                       .encrypting = false,
                                       .hooks = quiet,
                                       .buffer = tools.buffer,
                                       .fault = a.fault,
                                       .damaged = damaged});
    WipeBytes(original);
    a = AfterStream(end, std::move(a));
    if (!a.Ok()) {
        if (damaged) a.fault = Fault::Exists;
        return a;
    }
    std::uint8_t more = 0;
    std::size_t got = 0;
    if ((a.fault = tools.source.Read(&more, 1, got)) != Fault::None) return a;
    a.fault = got == 0 ? Fault::None : Fault::Exists;
    if (got == 0) earlier.MatchedWhole();
    return a;
}

// An earlier run wrote other random bytes than this one would, perhaps in an older version of
// the format: its copy is this file's when it opens with the password and holds exactly the
// original's bytes. Its size follows from its own header.
CopyAttempt MatchSealedCopy(const CopyTools& tools, const CopyJob& job, EarlierCopy& earlier) {
    if (const Fault f = earlier.Open(tools.folder, job.newName, -1); f != Fault::None)
        return CopyAttempt{f};
    const OpenedCopy opened = OpenAsCopy(tools, job, earlier);
    if (opened.fault != Fault::None) return CopyAttempt{opened.fault};
    return SameAsOriginal(tools, earlier, *opened.file);
}

}  // namespace

CopyAttempt MatchEarlier(const CopyTools& tools, const CopyJob& job) {
    EarlierCopy earlier;
    CopyAttempt a = job.sealed && job.encrypting ? MatchSealedCopy(tools, job, earlier)
                                                 : MatchBytes(tools, job, earlier);
    a.earlier = true;
    if (a.Ok()) {
        a.fault = earlier.Finish();
        a.earlierSize = earlier.Size();
        a.copyInode = earlier.Inode();
        a.copyModified = earlier.Modified();
        a.copyChanged = earlier.Changed();
    }
    a.nameTaken = a.fault == Fault::Exists || a.fault == Fault::NotRegular;
    return a;
}

}  // namespace kolvik
