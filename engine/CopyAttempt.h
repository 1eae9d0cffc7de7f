// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One attempt at a file's copy: written beside the original and named without replacing
// anything, or, where the name is taken, an interrupted run's finished copy recognised instead.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Format.h"
#include "engine/Formats.h"
#include "engine/Transform.h"
#include "platform/SafeFile.h"

namespace kolvik {

// One file's copy: what is written, and where its data begins in the original.
struct CopyJob {
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

// What every attempt works in and with: the claimed folder, the open original as it was
// described, the block buffer, the stream's hooks (with progress), and for an earlier sealed
// copy the formats and the password it is opened with.
struct CopyTools {
    safefile::Folder& folder;
    safefile::Source& source;
    const safefile::FileFacts& facts;
    std::vector<std::uint8_t>& buffer;
    const StreamHooks& hooks;
    Formats& formats;
    const std::string& key;
};

// The caller decides whether to try again.
struct CopyAttempt {
    CopyAttempt() = default;
    explicit CopyAttempt(safefile::Fault failed) : fault(failed) {}

    safefile::Fault fault = safefile::Fault::None;
    bool stopped = false;         // Exit was pressed: the copy is gone, the original untouched
    bool nameTaken = false;       // the new name held a file that is not this one's copy
    bool earlier = false;         // the new name holds this file's copy, finished by an earlier run
    std::uint64_t copyInode = 0;  // of an earlier copy
    WallClock::time_point copyModified{}, copyChanged{};
    std::unique_ptr<safefile::Copy> written;  // the copy this run wrote, once named
    bool damaged = false;                     // a sealed file whose data does not verify
    std::int64_t earlierSize = 0;             // an earlier copy's, as its header has it

    // Nothing went wrong so far: a stream that ends so went through to its end.
    bool Ok() const { return !stopped && fault == safefile::Fault::None; }
};

// preloaded: data bytes read with the header, [first, first + preloaded); first is 0 only when
// nothing was (a second attempt).
CopyAttempt TryCopy(const CopyTools& tools, const CopyJob& job, std::size_t first,
                    std::size_t preloaded);

// One pass of the original's data into sink.
CopyAttempt StreamCopy(const CopyTools& tools, const CopyJob& job, const BlockSink& sink,
                       std::size_t first, std::size_t preloaded);

// How a stream ended, in the attempt that holds its fault and damage. A stream that fails always
// names its fault; Io stands in should one not, so that Ok keeps meaning "went to its end".
CopyAttempt AfterStream(StreamEnd end, CopyAttempt a);

}  // namespace kolvik
