// The block loop: output bytes, progress positions and stop points as the byte loop has them.
#include <gtest/gtest.h>

#include "Helpers.h"
#include "Reference.h"
#include "cipher/Transform.h"

namespace kolvik::test {
namespace {

struct Streamed {
    std::string output;
    std::vector<std::int64_t> progress;
    int proceeds = 0;
    StreamEnd end = StreamEnd::Failed;
};

// Streams the bytes of input (after skipping `skip` of them) through StreamData.
Streamed Stream(const std::string& input, std::size_t skip, int extLength, bool encrypting,
                int stopAtProceed = -1) {
    TempDir dir;
    WriteFile(dir / "in", input);
    safefile::Folder folder;
    EXPECT_EQ(folder.Open(dir.path()), safefile::Fault::None);
    safefile::FileFacts facts;
    EXPECT_EQ(folder.Stat("in", facts), safefile::Fault::None);
    safefile::Source source;
    EXPECT_EQ(source.Open(folder, "in", facts), safefile::Fault::None);
    std::string skipped(skip, '\0');
    std::size_t got = 0;
    EXPECT_EQ(source.Read(skipped.data(), skip, got), safefile::Fault::None);
    safefile::Copy copy;
    EXPECT_EQ(copy.Create(folder, "out"), safefile::Fault::None);
    Streamed s;
    StreamHooks hooks;
    hooks.proceed = [&] { return ++s.proceeds != stopAtProceed; };
    hooks.progress = [&](std::int64_t p) { s.progress.push_back(p); };
    std::vector<std::uint8_t> buffer;
    safefile::Fault fault{};
    s.end = StreamData(source, copy, Keystream(BuildKeyTable("sleutel")), extLength, encrypting, buffer, hooks, fault);
    if (s.end == StreamEnd::Done) {
        EXPECT_EQ(copy.Publish("out", facts, false), safefile::Fault::None);
        s.output = ReadFile(dir / "out");
    }
    return s;
}

// Progress after passes 1001, 2001, ... up to `passes`, shifted to file positions.
std::vector<std::int64_t> ExpectedCalls(std::int64_t passes, std::int64_t offset) {
    std::vector<std::int64_t> out;
    for (std::int64_t j = 1001; j <= passes; j += 1000) out.push_back(j + offset);
    return out;
}

TEST(StreamData, EncryptsLikeTheByteLoop) {
    const std::int64_t block = static_cast<std::int64_t>(kStreamBlock);
    for (const std::int64_t n : std::vector<std::int64_t>{0, 1, 999, 1000, 1001, 2001, block - 1, block, block + 1}) {
        for (const int L : {0, 3}) {
            const std::string plain = Bytes(static_cast<std::size_t>(n), static_cast<unsigned>(n));
            const Streamed s = Stream(plain, 0, L, true);
            ASSERT_EQ(s.end, StreamEnd::Done);
            // The reference puts L extension bytes in front; this stream holds data and trailer only.
            const std::string ref = RefEncrypted("sleutel", std::string(static_cast<std::size_t>(L), 'e'), plain);
            EXPECT_EQ(s.output, ref.substr(static_cast<std::size_t>(L) + 9)) << n << " L=" << L;
            // N + 1 passes, the trailing byte's included, reported as encrypted-file positions.
            EXPECT_EQ(s.progress, ExpectedCalls(n + 1, L + 9)) << n;
        }
    }
}

TEST(StreamData, DecryptsAndDropsTheTrailingByte) {
    const std::int64_t block = static_cast<std::int64_t>(kStreamBlock);
    for (const std::int64_t n : std::vector<std::int64_t>{0, 1, 1000, 1001, 2001, block - 1, block, block + 1}) {
        const std::string plain = Bytes(static_cast<std::size_t>(n), 7u + static_cast<unsigned>(n));
        const std::string encrypted = RefEncrypted("sleutel", "txt", plain);
        const Streamed s = Stream(encrypted, 12, 3, false);
        ASSERT_EQ(s.end, StreamEnd::Done);
        EXPECT_TRUE(s.output == plain) << n;
        EXPECT_EQ(s.progress, ExpectedCalls(n, 0)) << n;
    }
    // A file that ends right after its header decrypts to nothing.
    EXPECT_EQ(Stream(RefEncrypted("sleutel", "txt", "").substr(0, 12), 12, 3, false).output, "");
}

TEST(StreamData, StopsBetweenBlocks) {
    const std::string plain = Bytes(3 * kStreamBlock, 1);
    for (const int stopAt : {1, 2, 4}) {
        const Streamed s = Stream(plain, 0, 0, true, stopAt);
        EXPECT_EQ(s.end, StreamEnd::Stopped);
        EXPECT_EQ(s.proceeds, stopAt);
    }
    // A yield at least every MiB: three full blocks, an empty read, then the trailing byte.
    EXPECT_EQ(Stream(plain, 0, 0, true).proceeds, 5);
}

}  // namespace
}  // namespace kolvik::test
