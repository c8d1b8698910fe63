// Throughput of the reply decoder over a long stream of mixed replies, fed the
// way the watch thread feeds it (chunks of up to 522 bytes, one byte decoded
// right after it is stored). The line itself carries about 5.2 KB/s.

#include <benchmark/benchmark.h>

#include <numeric>
#include <random>
#include <vector>

#include "protocol/reply_decoder.h"
#include "sim/reply_frames.h"

namespace {

std::vector<std::uint8_t> MixedStream(std::size_t targetSize) {
    std::mt19937 rng(7);
    std::vector<std::uint8_t> block(64);
    std::iota(block.begin(), block.end(), std::uint8_t{0});
    const std::uint8_t status = 0x40;
    std::vector<std::vector<std::uint8_t>> replies = {
        sn::sim::AckReply(),
        sn::sim::NakReply(),
        sn::sim::ShortDataReply(0x93, std::span(&status, 1)),
        sn::sim::MemoryDataReply(0x0100, block),
        sn::sim::MemoryDataReply(0x3C40, block),
        {0xFF, 0x00, 0x13},  // line noise
    };
    std::vector<std::uint8_t> stream;
    while (stream.size() < targetSize) {
        const auto& r = replies[rng() % replies.size()];
        stream.insert(stream.end(), r.begin(), r.end());
    }
    return stream;
}

void BM_DecodeMixedReplies(benchmark::State& st) {
    const auto stream = MixedStream(1 << 20);
    sn::LinkState link;
    for (auto _ : st) {
        link.decodeState = 0;
        sn::DecodeBytes(link, stream);
        benchmark::DoNotOptimize(link.replyStatus.load());
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations()) *
                         static_cast<std::int64_t>(stream.size()));
}
BENCHMARK(BM_DecodeMixedReplies)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
