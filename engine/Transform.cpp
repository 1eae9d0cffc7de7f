// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/Transform.h"

#include <algorithm>
#include <utility>

#include "engine/FileFormat.h"
#include "platform/Crypto.h"

namespace kolvik {
namespace {

void ReportProgress(const StreamHooks& hooks, std::int64_t firstPass, std::int64_t lastPass,
                    std::int64_t positionOfPassZero) {
    if (!hooks.progress) return;
    for (std::int64_t j = NextProgressPass(firstPass, lastPass); j != 0;
         j = NextProgressPass(j + 1, lastPass)) {
        hooks.progress(j + positionOfPassZero);
    }
}

// The buffer's start, up to the furthest byte a block reached, is wiped however the stream
// ends: it held plain text one way or the other.
struct WipeReached {
    std::uint8_t* start;
    std::size_t reached = 0;
    explicit WipeReached(std::uint8_t* s) : start(s) {}
    WipeReached(const WipeReached&) = delete;
    WipeReached& operator=(const WipeReached&) = delete;
    void Reach(std::size_t end) { reached = std::max(reached, end); }
    ~WipeReached() { crypto::Wipe(start, reached); }
};

}  // namespace

void PrepareStreamBuffer(std::vector<std::uint8_t>& buffer) {
    // One spare byte after the block: encryption's trailing byte.
    if (buffer.size() < kStreamHead + kStreamBlock + kTrailingBytes)
        buffer.resize(kStreamHead + kStreamBlock + kTrailingBytes);
}

StreamEnd StreamData(safefile::Source& source, const BlockSink& sink, const Keystream& keystream,
                     int extLength, bool encrypting, std::vector<std::uint8_t>& buffer,
                     const StreamHooks& hooks, safefile::Fault& fault, const std::string& prefix,
                     std::size_t preloadedFirst, std::size_t preloadedSize) {
    using safefile::Fault;
    PrepareStreamBuffer(buffer);
    std::uint8_t* const block = buffer.data() + kStreamHead;
    WipeReached wipe(buffer.data());
    wipe.Reach(preloadedFirst + preloadedSize + kTrailingBytes);
    const std::int64_t firstPosition = extLength + kFirstDataAt;
    // Encryption reports positions in the encrypted file, decryption in the plain file.
    const std::int64_t passOffset = encrypting ? extLength + kHeaderFixed : 0;
    // A header too long for the room before the block goes out on its own.
    std::size_t head = prefix.size();
    if (head > kStreamHead) {
        if ((fault = sink(reinterpret_cast<const std::uint8_t*>(prefix.data()), head)) !=
            Fault::None) {
            return StreamEnd::Failed;
        }
        head = 0;
    } else if (head > 0) {
        std::copy(prefix.begin(), prefix.end(), block - head);
    }
    std::int64_t passes = 0;
    std::size_t held = 0;  // decryption: a byte carried over, just before the block
    for (;;) {
        if (!hooks.proceed()) return StreamEnd::Stopped;
        std::uint8_t* data = block;
        std::size_t got = 0;
        if (preloadedSize > 0) {
            data = buffer.data() + preloadedFirst;
            got = std::exchange(preloadedSize, 0);
        } else {
            fault = source.Read(block, kStreamBlock, got);
            // The trailing byte, one past the block's data, is reached too.
            wipe.Reach(kStreamHead + got + kTrailingBytes);
            if (fault != Fault::None) return StreamEnd::Failed;
        }
        if (encrypting) {
            // The byte loop's last pass reads past the end and writes one more byte: the
            // keystream byte of its position, sent with the last block.
            const bool last = got < kStreamBlock;
            std::size_t out = got;
            if (last) {
                if (!hooks.proceed()) return StreamEnd::Stopped;
                data[got] = 0;
                ++out;
            }
            keystream.Apply(data, out, firstPosition + passes);
            if ((fault = sink(data - head, head + out)) != Fault::None) return StreamEnd::Failed;
            head = 0;
            ReportProgress(hooks, passes + 1, passes + static_cast<std::int64_t>(out), passOffset);
            passes += static_cast<std::int64_t>(out);
            if (last) return StreamEnd::Done;
            continue;
        }
        // What is held is the trailing byte once nothing more follows.
        if (got == 0) return StreamEnd::Done;
        // Decrypting, the newest byte might be the trailing one: keep it back.
        std::uint8_t* const start = data - held;
        const std::size_t available = held + got;
        const std::size_t count = available - 1;
        if (count > 0) {
            keystream.Apply(start, count, firstPosition + passes);
            if ((fault = sink(start, count)) != Fault::None) return StreamEnd::Failed;
            ReportProgress(hooks, passes + 1, passes + static_cast<std::int64_t>(count),
                           passOffset);
            passes += static_cast<std::int64_t>(count);
        }
        block[-1] = start[available - 1];
        held = 1;
    }
}

}  // namespace kolvik
