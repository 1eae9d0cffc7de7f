// SPDX-License-Identifier: GPL-3.0-or-later
// The block keystream against memcpy of the same 64 MiB buffer, in one run; then the start of
// a small file.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "engine/Keystream.h"

namespace {

constexpr std::size_t kSize = 64u << 20;

void BM_Memcpy(benchmark::State& state) {
    std::vector<std::uint8_t> src(kSize, 0x5A), dst(kSize);
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kSize);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// Reads the source and writes the destination, as memcpy does: a file's block goes
// from the read buffer through the keystream into the write buffer.
void BM_CopyThenKeystream(benchmark::State& state) {
    std::vector<std::uint8_t> src(kSize, 0x5A), dst(kSize);
    const kolvik::Keystream ks(kolvik::BuildKeyTable("geheim!"));
    for (auto _ : state) {
        std::memcpy(dst.data(), src.data(), kSize);
        ks.Apply(dst.data(), kSize, 13);
        benchmark::DoNotOptimize(dst.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_KeystreamInPlace(benchmark::State& state) {
    std::vector<std::uint8_t> buf(kSize, 0x5A);
    const kolvik::Keystream ks(kolvik::BuildKeyTable("geheim!"));
    for (auto _ : state) {
        ks.Apply(buf.data(), kSize, 13);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

void BM_KeystreamByteByByte(benchmark::State& state) {
    std::vector<std::uint8_t> buf(kSize, 0x5A);
    const kolvik::KeyTable table = kolvik::BuildKeyTable("geheim!");
    for (auto _ : state) {
        for (std::size_t i = 0; i < kSize; ++i)
            buf[i] ^= kolvik::KeystreamByte(table, 13 + static_cast<std::int64_t>(i));
        benchmark::DoNotOptimize(buf.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kSize));
}

// A small file's data from its first position (13, behind a three-letter extension's header),
// the trailing byte included: where c(r) + p can still be negative.
void BM_FileStart(benchmark::State& state) {
    std::vector<std::uint8_t> buf(static_cast<std::size_t>(state.range(0)) + 1, 0x5A);
    const kolvik::Keystream ks(kolvik::BuildKeyTable("geheim!"));
    for (auto _ : state) {
        ks.Apply(buf.data(), buf.size(), 13);
        benchmark::DoNotOptimize(buf.data());
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_Memcpy)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystreamInPlace)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CopyThenKeystream)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_KeystreamByteByByte)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_FileStart)->Arg(1024)->Arg(4096)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
