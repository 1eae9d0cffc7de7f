// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A file format as the per-file operations see it: which leading bytes are its, a header read
// and opened with a password or made for a new copy, the sizes that follow from it, and the
// data streamed both ways. The transformer asks which format a file is in and never looks
// inside one.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Transform.h"
#include "platform/SafeFile.h"

namespace kolvik {

// How large a copy comes out, and where the data starts in the file it is made from.
struct Layout {
    std::int64_t copySize = 0;
    std::int64_t dataStart = 0;
};

// One pass over a file's data; encrypting, the header goes out with the first block.
struct StreamJob {
    safefile::Source& source;  // decrypting, it stands after the header
    const BlockSink& sink;
    bool encrypting;
    const StreamHooks& hooks;
    // The transformer's block buffer. Data read with the header lies at [preloadedFirst,
    // preloadedFirst + preloadedSize), and is all there is when sourceEnded; preloadedFirst
    // is 0 when none was read.
    std::vector<std::uint8_t>& buffer;
    std::size_t preloadedFirst = 0;
    std::size_t preloadedSize = 0;
    bool sourceEnded = false;
    safefile::Fault& fault;
    bool& damaged;  // set when the data does not verify
};

// One file's header, opened or made, with what its data needs. It lives for that one file.
class FormatFile {
  public:
    virtual ~FormatFile() = default;
    virtual std::size_t HeaderSize() const = 0;
    // The extension the header names, as UTF-8.
    virtual std::string Extension() const = 0;
    // Of a copy made from a source of size bytes.
    virtual Layout Sizes(std::int64_t size, bool encrypting) const = 0;
    virtual StreamEnd Stream(const StreamJob& job) = 0;
};

enum class Opening { Opened, WrongKey, Damaged, Refused /* by the library */ };

class Format {
  public:
    virtual ~Format() = default;
    // The first bytes of a file are in this format.
    virtual bool Recognises(std::string_view leading) const = 0;
    // Its files carry a mark, so one that does not open is still one of ours.
    virtual bool Marked() const = 0;
    // Authenticated, with random bytes in every copy: an earlier run's copy is known by
    // opening it rather than by its bytes.
    virtual bool Sealed() const = 0;
    // Reads the header at the start of leading (the file's first block) and opens it with key.
    virtual Opening Open(std::string_view leading, const std::string& key,
                         std::unique_ptr<FormatFile>& file) = 0;
};

// A format that new copies are written in.
class WrittenFormat : public Format {
  public:
    // Its header can hold the extension faithfully.
    virtual bool HoldsExtension(std::string_view extUtf8) const = 0;
    // The header of a new copy; false when the library refused.
    virtual bool Begin(std::string_view extUtf8, const std::string& key,
                       std::unique_ptr<FormatFile>& file) = 0;
};

}  // namespace kolvik
