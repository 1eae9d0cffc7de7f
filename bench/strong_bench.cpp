// SPDX-License-Identifier: GPL-3.0-or-later
// The strong format's costs: the one key derivation of a run (Argon2id with the cost every file
// is written with), the per-file keys, and sealing one full chunk.
#include <benchmark/benchmark.h>

#include <vector>

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
    for (auto _ : state) benchmark::DoNotOptimize(strong::DeriveFileKeys(m, header, keys));
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

}  // namespace

BENCHMARK_MAIN();
