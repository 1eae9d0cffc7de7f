#pragma once
// The data part of a .kol file, streamed in large blocks with the same output, progress calls
// and stop points as the one-byte-at-a-time loop it replaces.
#include <cstdint>
#include <functional>
#include <vector>

#include "engine/Keystream.h"
#include "platform/SafeFile.h"

namespace kolvik {

enum class StreamEnd { Done, Stopped, Failed };

struct StreamHooks {
    // Called before each block, and before the trailing byte: yields; false stops the file.
    std::function<bool()> proceed;
    // Called after passes 1001, 2001, ... with the position the byte loop reports.
    std::function<void(std::int64_t)> progress;
};

// Where the transformed blocks go: the copy being written, or a comparison with an earlier copy.
using BlockSink = std::function<safefile::Fault(const std::uint8_t* data, std::size_t size)>;

// Blocks are this large: one buffer per window, and a yield between blocks.
inline constexpr std::size_t kStreamBlock = 1 << 20;

// Encrypting: every remaining source byte is data, followed by one trailing byte (the
// keystream byte of its position). Decrypting: the source's last byte is that trailing byte
// and is dropped. The source stands just after the header; data byte q sits at position
// q + extLength + 9 of the encrypted file.
StreamEnd StreamData(safefile::Source& source, const BlockSink& sink, const Keystream& keystream,
                     int extLength, bool encrypting, std::vector<std::uint8_t>& buffer,
                     const StreamHooks& hooks, safefile::Fault& fault);

}  // namespace kolvik
