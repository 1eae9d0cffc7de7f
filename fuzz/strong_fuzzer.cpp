// SPDX-License-Identifier: GPL-3.0-or-later
// The strong format's header and chunk reader on hostile input. Tags cannot be forged by a
// fuzzer, so the reader is driven two ways: the input as a whole file, read as a header of
// either version (it must be refused cleanly, never crash), and the input as plain text that is
// encrypted with fixed keys, changed once at a chosen place, and read back: only the unchanged
// file may come back, and exactly.
//
// Input: op, four bytes of position (little-endian), a repeat count, then the plain text.
// op % 4: 0 unchanged, 1 one bit flipped, 2 cut short, 3 one byte appended.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "engine/StrongHeader.h"

namespace {

using namespace kolvik;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz_strong: %s\n", what);
    std::abort();
}

struct Scratch {
    std::string folder;
    Scratch() {
        char path[] = "/tmp/fuzz_strong.XXXXXX";
        if (!mkdtemp(path)) Fail("no scratch folder");
        folder = path;
    }
    ~Scratch() {
        (void)std::remove((folder + "/f").c_str());
        (void)rmdir(folder.c_str());
    }
};

// Runs the stream over bytes as a file's content; out receives what the sink got.
StreamEnd Stream(const std::string& bytes, const strong::Secret& kd, std::string_view h,
                 bool encrypting, std::string& out, bool& damaged) {
    static Scratch scratch;
    static std::vector<std::uint8_t> buffer;
    static crypto::AesGcm cipher;
    const std::string path = scratch.folder + "/f";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) Fail("write");
    std::fclose(f);
    safefile::Folder folder;
    safefile::Source source;
    safefile::FileFacts facts;
    if (folder.Open(scratch.folder) != safefile::Fault::None ||
        source.Open(folder, "f", facts) != safefile::Fault::None ||
        source.Seek(static_cast<std::int64_t>(encrypting ? 0 : h.size())) != safefile::Fault::None)
        Fail("open");
    out.clear();
    const BlockSink sink = [&out](const std::uint8_t* data, std::size_t n) {
        out.append(reinterpret_cast<const char*>(data), n);
        return safefile::Fault::None;
    };
    StreamHooks hooks;
    hooks.proceed = [] { return true; };
    safefile::Fault fault = safefile::Fault::None;
    return strong::StreamChunks(source, sink, cipher, kd, h, encrypting, buffer, hooks, fault,
                                damaged);
}

crypto::Hmac& Mac() {
    static crypto::Hmac hmac;
    return hmac;
}

const strong::FileKeys& Keys() {
    static strong::FileKeys keys;
    static const bool made = [] {
        strong::Secret m;
        m.bytes.fill(0x4b);
        return strong::DeriveFileKeys(Mac(), m, strong::Header{}, keys);
    }();
    if (!made) Fail("keys");
    return keys;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(bytes), size);
    // As a whole file: the header is read within its bounds and a forged file is refused.
    const struct {
        strong::HeaderRead (*read)(std::string_view, strong::Header&);
        std::size_t fixed;  // up to the extension
    } versions[] = {{strong::ReadHeaderV1, 47}, {strong::ReadHeaderV2, 50}};
    for (const auto& v : versions) {
        strong::Header header;
        if (v.read(input, header) != strong::HeaderRead::Ok) continue;
        if (header.size != v.fixed + header.extension.size() + 32 || header.size > input.size())
            Fail("header size");
        if (strong::MacMatches(Mac(), Keys(), input, header)) Fail("forged header accepted");
    }
    if (size < 6) return 0;
    const unsigned op = bytes[0] % 4;
    const std::uint32_t at =
        bytes[1] | bytes[2] << 8 | bytes[3] << 16 | std::uint32_t{bytes[4]} << 24;
    std::string plain(input.substr(6));
    for (unsigned r = 0; r < bytes[5] % 8 && !plain.empty(); ++r) plain += plain;

    strong::Header written{.extension = "txt"};
    const auto h = strong::WriteHeaderV2(Mac(), Keys(), written);
    if (!h) Fail("header");
    std::string file, back;
    bool damaged = false;
    if (Stream(plain, Keys().kd, *h, true, file, damaged) != StreamEnd::Done) Fail("encrypt");
    const std::size_t chunks =
        plain.empty() ? 1 : (plain.size() + strong::kChunk - 1) / strong::kChunk;
    if (file.size() != h->size() + plain.size() + 16 * chunks) Fail("encrypted size");
    // Changes fall in the data: a header change is the MAC's business, checked above.
    const std::size_t data = file.size() - h->size();
    if (op == 1) file[h->size() + at % data] ^= static_cast<char>(1 << (at % 8));
    if (op == 2) file.resize(h->size() + at % data);
    if (op == 3) file.insert(file.size(), 1, static_cast<char>(at));
    const StreamEnd end = Stream(file, Keys().kd, *h, false, back, damaged);
    if (op == 0 && (end != StreamEnd::Done || back != plain)) Fail("round trip");
    if (op != 0 && (end != StreamEnd::Failed || !damaged)) Fail("change not seen");
    return 0;
}
