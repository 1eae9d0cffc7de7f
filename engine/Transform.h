// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The data part of a .kol file, streamed in large blocks with the same output, progress calls
// and stop points as the one-byte-at-a-time loop it replaces.
#include <cstdint>
#include <functional>
#include <string>
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
// Room before a block: for the header that goes out in the same write as the first block, or
// the byte decryption holds back.
inline constexpr std::size_t kStreamHead = 512;

// Sizes the buffer for StreamData; blocks are read to buffer.data() + kStreamHead.
void PrepareStreamBuffer(std::vector<std::uint8_t>& buffer);

// Encrypting: every remaining source byte is data, followed by one trailing byte (the
// keystream byte of its position). Decrypting: the source's last byte is that trailing byte
// and is dropped. The source stands just after the header; data byte q sits at position
// q + extLength + kFirstDataAt (counted from 1) of the encrypted file. prefix (the header) goes out
// in the same write as the first block, and the trailing byte in that of the last. Where the first
// block was read with the header, its data bytes lie at buffer[preloadedFirst, preloadedFirst +
// preloadedSize) and the stream starts with them.
StreamEnd StreamData(safefile::Source& source, const BlockSink& sink, const Keystream& keystream,
                     int extLength, bool encrypting, std::vector<std::uint8_t>& buffer,
                     const StreamHooks& hooks, safefile::Fault& fault,
                     const std::string& prefix = {}, std::size_t preloadedFirst = 0,
                     std::size_t preloadedSize = 0);

}  // namespace kolvik
