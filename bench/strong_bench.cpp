// SPDX-License-Identifier: GPL-3.0-or-later
// The strong format's costs: the one key derivation of a run (Argon2id with the cost every file
// is written with), the per-file keys, and sealing one full chunk. Then what either format
// costs per small file once the run's key is known.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/Formats.h"
#include "engine/StrongHeader.h"

namespace {

using namespace kolvik;

void BM_MasterKey(benchmark::State& state) {
    strong::Salt salt{};
    strong::Secret m;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            strong::MasterKey("bench-wachtwoord", salt, strong::Argon2Cost{}, m));
    }
}
BENCHMARK(BM_MasterKey)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FileKeys(benchmark::State& state) {
    strong::Secret m;
    strong::FileKeys keys;
    const strong::Header header;
    crypto::Hmac hmac;
    for (auto _ : state) benchmark::DoNotOptimize(strong::DeriveFileKeys(hmac, m, header, keys));
}
BENCHMARK(BM_FileKeys)->Unit(benchmark::kMicrosecond);

void BM_SealChunk(benchmark::State& state) {
    strong::Secret kd;
    crypto::AesGcm aes(kd.bytes);
    std::vector<std::uint8_t> plain(strong::kChunk, 0x5A), out(strong::kSealedChunk);
    const std::vector<std::uint8_t> h(82, 1);
    for (auto _ : state) {
        benchmark::DoNotOptimize(aes.Seal(strong::ChunkNonce(1, false), h, plain, out.data()));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * strong::kChunk));
}
BENCHMARK(BM_SealChunk);

// One small file encrypted in memory, from its header to its last byte, in the described format
// (arg 0) or the strong one (arg 1): what a run pays per file on top of the file system. The
// source is one file in the temporary folder, read again for every round.
void BM_SmallFile(benchmark::State& state) {
    const bool strong = state.range(0) == 1;
    const auto size = static_cast<std::size_t>(state.range(1));
    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / "kolvik-bench-small-file";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "plain.txt", std::ios::binary) << std::string(size, 'k');
    safefile::Folder folder;
    safefile::FileFacts facts;
    safefile::Source source;
    if (folder.Open(dir.string()) != safefile::Fault::None ||
        folder.Stat("plain.txt", facts) != safefile::Fault::None ||
        source.Open(folder, "plain.txt", facts) != safefile::Fault::None) {
        state.SkipWithError("no source file");
        return;
    }
    Formats formats;
    // The run's one derivation, at the least cost a header may name, before the timing.
    WrittenFormat& format = formats.Writing(strong, WallClock::time_point{}, strong::kLeastArgon2);
    const std::string key = "bench-wachtwoord";
    std::unique_ptr<FormatFile> file;
    if (!format.Begin("txt", key, file)) {
        state.SkipWithError("no key");
        return;
    }
    std::vector<std::uint8_t> buffer;
    std::size_t written = 0;
    const BlockSink sink = [&](const std::uint8_t*, std::size_t n) {
        written += n;
        return safefile::Fault::None;
    };
    const StreamHooks hooks{.proceed = [] { return true; }, .progress = {}};
    safefile::Fault fault{};
    bool damaged = false;
    for (auto _ : state) {
        if (source.Seek(0) != safefile::Fault::None || !format.Begin("txt", key, file) ||
            file->Stream({.source = source,
                          .sink = sink,
                          .encrypting = true,
                          .hooks = hooks,
                          .buffer = buffer,
                          .fault = fault,
                          .damaged = damaged}) != StreamEnd::Done) {
            state.SkipWithError("stream failed");
            break;
        }
    }
    benchmark::DoNotOptimize(written);
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_SmallFile)
    ->ArgNames({"strong", "bytes"})
    ->ArgsProduct({{0, 1}, {1024, 4096}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
