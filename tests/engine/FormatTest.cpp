// SPDX-License-Identifier: GPL-3.0-or-later
// The plain name an encrypted name gives back, the header bytes, and the block loop's output,
// progress positions and stop points as the byte loop has them. The encrypted names themselves
// are checked, worked by hand, on the trees of the round-trip tests.
#include <gtest/gtest.h>

#include "EngineKit.h"
#include "Reference.h"
#include "engine/FileFormat.h"
#include "engine/NameRules.h"
#include "engine/PathHelpers.h"
#include "engine/Transform.h"

namespace kolvik::test {
namespace {

using Named = std::tuple<const char*, const char*, const char*>;  // encrypted, extension, plain

TEST(PlainName, FromNameAndStoredExtension) {
    const Named cases[] = {
        Named{"my_file_txt.kol", "txt", "my_file.txt"},
        Named{"data_a_b.kol", "a_b", "data.a_b"},  // the ending encryption made wins
        // Renamed: before the last "_", or all of it when there is none.
        Named{"holiday.kol", "jpg", "holiday.jpg"}, Named{"x_y_z.kol", "jpg", "x_y.jpg"},
        Named{"notes_txt.kol", "md", "notes.md"}, Named{"\xC3\xA9_x.kol", "txt", "\xC3\xA9.txt"},
        Named{"RENAMED.kol", "", "RENAMED"},  // only ".kol" goes
        Named{"README_.KOL", "", "README"},   // the ending in any case
        // Windows would open the device, not a file.
        Named{"aux_txt.kol", "txt", kWindowsNames ? "" : "aux.txt"},
        // Nothing left, or a path: skipped.
        Named{"_.kol", "", ""}, Named{".kol", "", ""}, Named{"evil_x.kol", "/../x", ""}};
    for (const auto& [encrypted, ext, plain] : cases)
        EXPECT_EQ(PlainName(encrypted, ext), plain) << encrypted << " / " << ext;
}

TEST(PlainName, EveryEncryptedNameComesBack) {
    for (const char* name :
         {"report.txt", "data.a_b", "a.b.c", ".hidden", "trail.", "nodot", "x_.y", "a_",
          "sp ace.t xt", "\xC3\xA9t\xC3\xA9.txt", "under_score.tar.gz", "_", "a__b._c_"}) {
        // Windows strips a name's trailing dot: such a file cannot be there to begin with.
        const bool reserved = kWindowsNames && std::string_view(name).ends_with('.');
        EXPECT_EQ(PlainName(EncryptedName(name), GetExtension(name)), reserved ? "" : name);
    }
}

TEST(EncryptedHeader, MatchesTheFormulas) {
    // geheim12 and geheim1X differ only in the eighth character, which never counts.
    for (const std::string key : {"", "ab", "geheim12", "geheim1X", "abcdefghijk", "\x7f~ !"}) {
        for (const std::string& ext :
             {std::string(), std::string("txt"), std::string("tar.gz"), std::string(255, 'e')}) {
            // The reference's file for no data: the header, then the trailing byte.
            const std::string expected = RefEncrypted(key, ext, "").substr(0, ext.size() + 9);
            const std::string header = EncryptedHeader(BuildKeyTable(key), ext);
            EXPECT_EQ(header, expected) << key << " / " << ext.size();
            EXPECT_TRUE(HeaderMatches(BuildKeyTable(key), header));
            EXPECT_FALSE(HeaderMatches(BuildKeyTable(key), header.substr(0, header.size() - 1)));
            std::string last = header;
            last.back() ^= 1;  // every check byte counts, the last one too
            EXPECT_FALSE(HeaderMatches(BuildKeyTable(key), last));
        }
    }
}

TEST(StorableExtension, OnlyWhatTheHeaderHoldsFaithfully) {
    const std::string euro = "\xE2\x82\xAC";  // one Windows-1252 byte, three in UTF-8
    const std::pair<std::string, std::optional<std::string>> cases[] = {
        {"caf\xC3\xA9", "caf\xE9"},
        {std::string(255, 'x'), std::string(255, 'x')},
        {std::string(256, 'x'), std::nullopt},
        {euro + euro + std::string(253, 'x'), "\x80\x80" + std::string(253, 'x')},  // 255 bytes
        {euro + euro + std::string(254, 'x'), std::nullopt},                        // 256 bytes
        {"\xE6\x97\xA5", std::nullopt},  // a character Windows-1252 lacks
    };
    for (const auto& [utf8, stored] : cases) EXPECT_EQ(StorableExtension(utf8), stored) << utf8;
}

struct Streamed {
    std::string output;
    std::vector<std::int64_t> progress;
    int proceeds = 0;
    StreamEnd end = StreamEnd::Failed;
};

// Streams a file holding input through StreamData, as if its header had just been read.
Streamed Stream(const std::string& input, int extLength, bool encrypting, int stopAtProceed = -1) {
    TempDir dir;
    WriteFile(dir / "in", input);
    safefile::Folder folder;
    EXPECT_EQ(folder.Open(dir.path()), safefile::Fault::None);
    safefile::FileFacts facts;
    EXPECT_EQ(folder.Stat("in", facts), safefile::Fault::None);
    safefile::Source source;
    EXPECT_EQ(source.Open(folder, "in", facts), safefile::Fault::None);
    Streamed s;
    StreamHooks hooks;
    hooks.proceed = [&] { return ++s.proceeds != stopAtProceed; };
    hooks.progress = [&](std::int64_t p) { s.progress.push_back(p); };
    const BlockSink collect = [&](const std::uint8_t* data, std::size_t n) {
        s.output.append(reinterpret_cast<const char*>(data), n);
        return safefile::Fault::None;
    };
    std::vector<std::uint8_t> buffer;
    safefile::Fault fault{};
    s.end = StreamData(source, collect, Keystream(BuildKeyTable("sleutel")), extLength, encrypting,
                       buffer, hooks, fault);
    return s;
}

// Progress after passes 1001, 2001, ... up to `passes`, shifted to file positions.
std::vector<std::int64_t> ExpectedCalls(std::int64_t passes, std::int64_t offset) {
    std::vector<std::int64_t> out;
    for (std::int64_t j = 1001; j <= passes; j += 1000) out.push_back(j + offset);
    return out;
}

TEST(StreamData, BothWaysLikeTheByteLoop) {
    constexpr std::int64_t block = kStreamBlock;
    for (const std::int64_t n : std::initializer_list<std::int64_t>{0, 1, 999, 1000, 1001, 2001,
                                                                    block - 1, block, block + 1}) {
        const std::string plain = Bytes(static_cast<std::size_t>(n), static_cast<unsigned>(n));
        for (const int L : {0, 3}) {
            const std::string encrypted = RefEncrypted("sleutel", std::string(L, 'e'), plain);
            // The reference's file starts with the header; the stream holds what follows it.
            const Streamed e = Stream(plain, L, true);
            ASSERT_EQ(e.end, StreamEnd::Done);
            EXPECT_TRUE(e.output == encrypted.substr(L + 9)) << n << " L=" << L;
            // N + 1 passes, the trailing byte's included, reported as encrypted-file positions.
            EXPECT_EQ(e.progress, ExpectedCalls(n + 1, L + 9)) << n;
            const Streamed d = Stream(encrypted.substr(L + 9), L, false);
            ASSERT_EQ(d.end, StreamEnd::Done);
            EXPECT_TRUE(d.output == plain) << n << " L=" << L;
            EXPECT_EQ(d.progress, ExpectedCalls(n, 0)) << n;
        }
    }
}

TEST(StreamData, StopsBetweenBlocks) {
    const std::string plain = Bytes(3 * kStreamBlock, 1);
    for (const int stopAt : {1, 2, 4}) {
        const Streamed s = Stream(plain, 0, true, stopAt);
        EXPECT_EQ(s.end, StreamEnd::Stopped);
        EXPECT_EQ(s.proceeds, stopAt);
    }
    // A yield at least every MiB: three full blocks, an empty read, then the trailing byte.
    EXPECT_EQ(Stream(plain, 0, true).proceeds, 5);
}

}  // namespace
}  // namespace kolvik::test
