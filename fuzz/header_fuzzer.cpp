// SPDX-License-Identifier: GPL-3.0-or-later
// Decryption's first steps on hostile input: read the header the way the decrypt path does,
// check the key, derive the plain name, and run the keystream over the body.
//
// Input: key NUL encrypted-name NUL file-bytes. Missing fields are empty.
//
// The header read itself sits inside frmKolvik::DecryptFile, between file calls; its few lines
// are mirrored here (one length byte, then that many extension bytes and eight check bytes,
// possibly cut short by the end of the file) so that the pure part can run without a folder.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Ansi.h"
#include "engine/FileFormat.h"
#include "engine/Keystream.h"
#include "engine/PathHelpers.h"

namespace {

using namespace kolvik;

[[noreturn]] void Fail(const char* what, std::string_view detail) {
    std::fprintf(stderr, "fuzz_header: %s [%.*s]\n", what, static_cast<int>(detail.size()),
                 detail.data());
    std::abort();
}

std::string_view NextField(std::string_view& rest) {
    const std::size_t cut = rest.find('\0');
    const std::string_view field = rest.substr(0, cut);
    rest = cut == std::string_view::npos ? std::string_view{} : rest.substr(cut + 1);
    return field;
}

std::string ReadHeader(std::string_view file) {
    if (file.empty()) return {};
    const std::size_t want = 1 + static_cast<unsigned char>(file[0]) + std::size_t{8};
    return std::string(file.substr(0, want));
}

bool UsableName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos;
}

// Whatever the file holds, the name decryption would create stays inside its folder.
void CheckDecryptedName(const KeyTable& table, std::string_view name, std::string_view file) {
    const std::string header = ReadHeader(file);
    if (!HeaderMatches(table, header)) return;
    const int extLength = static_cast<unsigned char>(header[0]);
    const std::string plain = PlainName(name, AnsiToUtf8(header.substr(1, extLength)));
    if (!plain.empty() && (!UsableName(plain) || plain.find('\0') != std::string::npos))
        Fail("plain name leaves its folder", plain);
}

// Names a header may not carry back: control characters (C0, DEL, C1), "\\" and ":" name no
// file on the other system, and broken UTF-8 has no one reading. Encryption leaves those.
bool OrdinaryName(std::string_view name) {
    if (!ValidUtf8(name)) return false;
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        const auto next = i + 1 < name.size() ? static_cast<unsigned char>(name[i + 1]) : 0;
        if (c < 0x20 || c == 0x7F || (c == 0xC2 && next >= 0x80 && next <= 0x9F) || c == '\\' ||
            c == ':')
            return false;
    }
    return true;
}

// Every ordinary name comes back unchanged from its encrypted header and name.
void CheckRoundTrip(const KeyTable& table, std::string_view name) {
    if (!UsableName(name) || !OrdinaryName(name) || EndsInKol(name)) return;
    const auto ext = StorableExtension(GetExtension(name));
    if (!ext) return;
    const std::string header = EncryptedHeader(table, *ext);
    if (header.size() != ext->size() + 9) Fail("header length", header);
    if (!HeaderMatches(table, header)) Fail("own header rejected", name);
    const std::string back = PlainName(EncryptedName(name), AnsiToUtf8(*ext));
    if (back != name) Fail("name does not survive encryption", name);
}

// The block keystream equals the per-byte formula, near the start and far past 32 bits.
void CheckKeystream(const KeyTable& table, std::string_view body, std::int64_t first) {
    const Keystream stream(table);
    std::vector<std::uint8_t> data(body.begin(), body.end());
    stream.Apply(data.data(), data.size(), first);
    for (std::size_t k = 0; k < data.size(); ++k) {
        const auto expected =
            static_cast<std::uint8_t>(static_cast<std::uint8_t>(body[k]) ^
                                      KeystreamByte(table, first + static_cast<std::int64_t>(k)));
        if (data[k] != expected) Fail("block keystream differs", body);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(bytes), size);
    const std::string_view key = NextField(rest);
    const std::string_view name = NextField(rest);
    const std::string_view file = rest;

    const KeyTable table = BuildKeyTable(key);
    CheckDecryptedName(table, name, file);
    CheckRoundTrip(table, name);
    const std::int64_t bodyStart = file.empty() ? 10 : static_cast<unsigned char>(file[0]) + 10;
    const std::string_view body =
        file.substr(std::min(file.size(), static_cast<std::size_t>(bodyStart) - 1));
    CheckKeystream(table, body.substr(0, 512), bodyStart);
    CheckKeystream(table, body.substr(0, 64), (std::int64_t{1} << 33) + bodyStart);
    return 0;
}
