// Lines per second through framing, logging and decoding, the path every received byte takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include <atomic>
#include <cstdlib>
#include <new>

#include "bench/standard_mix.h"
#include "common/clock.h"
#include "core/reading/pattern_format.h"
#include "core/reading/transmission_log.h"
#include "core/reading/weight_decoder.h"

// Every allocation counted, for the allocations-per-frame figure. GCC takes the replaced
// operators for a mismatch of new and free where the library's code inlines them.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
namespace {
std::atomic<std::uint64_t> allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* block = std::malloc(size == 0 ? 1 : size)) {
        return block;
    }
    throw std::bad_alloc();
}

void operator delete(void* block) noexcept {
    std::free(block);
}

void operator delete(void* block, std::size_t) noexcept {
    std::free(block);
}

namespace station {
namespace {

class DiscardingDisplays final : public ReadingDisplays {
public:
    void ShowReading(int, const Reading& reading) override { benchmark::DoNotOptimize(reading); }
};

// `line_count` lines of the mix, or of its lines with fewer than two commas: those that the
// station read as one number before it looked behind status fields.
std::string MakeStream(std::size_t line_count, bool with_status_fields) {
    std::vector<std::string> lines;
    for (const std::string& line : bench::StandardMix()) {
        if (with_status_fields || std::count(line.begin(), line.end(), ',') < 2) {
            lines.push_back(line);
        }
    }
    std::string stream;
    for (std::size_t i = 0; i < line_count; ++i) {
        stream += lines[(i * 7) % lines.size()];
    }
    return stream;
}

void FeedInChunks(benchmark::State& state, bool with_status_fields) {
    constexpr std::size_t kLinesPerPass = 4096;
    const auto chunk_size = static_cast<std::size_t>(state.range(0));
    const std::string stream = MakeStream(kLinesPerPass, with_status_fields);
    SystemClock clock;
    TransmissionLog log(clock);
    DiscardingDisplays displays;
    WeightDecoder decoder(log, displays, ',', SteadyTime::Instance());
    ReceiveBuffer buffer;
    for (auto _ : state) {
        for (std::size_t at = 0; at < stream.size(); at += chunk_size) {
            const std::string_view chunk = std::string_view(stream).substr(at, chunk_size);
            decoder.AppendReceivedData(chunk, static_cast<int>(chunk.size()), kWeightLineProtocol,
                                       buffer, 1);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kLinesPerPass));
    state.SetLabel("items = lines");
}

void BM_FramingLoggingDecoding(benchmark::State& state) {
    FeedInChunks(state, true);
}
BENCHMARK(BM_FramingLoggingDecoding)->Arg(16)->Arg(1460)->Arg(65536);

// A frame of each preset, as its layout sends it; the pattern reads lines like the first.
struct PresetFrame {
    const char* preset;
    std::string frame;
};

const std::vector<PresetFrame> kPresetFrames = {
    {"stx-status",
     "\x02"
     "3 0012345000000\r"},
    {"csv-status", "ST,GS,+001234.5kg\r\n"},
    {"letter-status", "S S     1234.5 kg\r\n"},
    {"lf-range", "\n 1G      1234.5kg\r"},
    {"stx-polarity", "\x02+ 1234.5KG \r\n"},
    {"marker", "    1234.5 kg ?\r\n"},
    {"id-line", "     +1234.5 kg \r\n"},
    {"dollar", "$012345\r\n"},
    {"w-checksum", "WG 1234.5kg23\r\n"},
    {"equals", "=5.4321000"},
    {"equals-forward", "=0001234.5"},
    {"stx-etx", "\x02-  12.50M\x03"},
    {"block", "G  12.50 kg\rT   2.50 kg\rN  10.00 kg\r"},
    {"polled", "\x02 1234.5 kg\r"},
    {"cr-etx", "\r+001234 kgG\x03"},
    {"sign6-status", "+001234kgG  \r"},
    {"pattern", "+ 1234.5 kg\r\n"},
};

// Frames of one preset (or the pattern) in 1460-byte chunks through framing, logging and its
// format; items are frames, and the allocations a frame costs once warm are counted.
void BM_Preset(benchmark::State& state) {
    constexpr std::size_t kFramesPerPass = 4096;
    constexpr std::size_t kChunk = 1460;
    const PresetFrame& preset = kPresetFrames.at(static_cast<std::size_t>(state.range(0)));
    std::string stream;
    for (std::size_t i = 0; i < kFramesPerPass; ++i) {
        stream += preset.frame;
    }
    SystemClock clock;
    TransmissionLog log(clock);
    DiscardingDisplays displays;
    WeightDecoder decoder(log, displays, ',', SteadyTime::Instance());
    PatternProblem problem;
    decoder.SetFormat(
        1, preset.preset == std::string("pattern")
               ? PatternFormat::Make(R"(^(?P<sign>[-+])\s*(?P<weight>[0-9.]+) kg(?P<motion> \?)?$)",
                                     problem)
               : MakePreset(preset.preset));
    ReceiveBuffer buffer;
    const auto feed = [&] {
        for (std::size_t at = 0; at < stream.size(); at += kChunk) {
            const std::string_view chunk = std::string_view(stream).substr(at, kChunk);
            decoder.AppendReceivedData(chunk, static_cast<int>(chunk.size()), kWeightLineProtocol,
                                       buffer, 1);
        }
    };
    feed();  // warm: the log's text and the buffer have their room
    const std::uint64_t before = allocations.load();
    std::int64_t passes = 0;
    for (auto _ : state) {
        feed();
        ++passes;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kFramesPerPass));
    state.counters["allocs_per_frame"] =
        static_cast<double>(allocations.load() - before) /
        static_cast<double>(passes * static_cast<std::int64_t>(kFramesPerPass));
    state.SetLabel(preset.preset);
}
BENCHMARK(BM_Preset)->DenseRange(0, 16);

void BM_LinesReadAsOneNumber(benchmark::State& state) {
    FeedInChunks(state, false);
}
BENCHMARK(BM_LinesReadAsOneNumber)->Arg(1460);

}  // namespace
}  // namespace station

BENCHMARK_MAIN();
