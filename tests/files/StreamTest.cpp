// The block loop: output bytes, progress positions and stop points as the byte loop has them.
#include <gtest/gtest.h>

#include "Helpers.h"
#include "Reference.h"
#include "engine/Transform.h"

namespace kolvik::test {
namespace {

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
    for (const std::int64_t n : {0L, 1L, 999L, 1000L, 1001L, 2001L, block - 1, block, block + 1}) {
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
