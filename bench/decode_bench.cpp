// Lines per second through framing, logging and decoding, the path every received byte takes.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/reading/transmission_log.h"
#include "core/reading/weight_decoder.h"

namespace station {
namespace {

class DiscardingDisplays final : public ReadingDisplays {
public:
    void SetReadingText(int, const std::string& text) override { benchmark::DoNotOptimize(text); }
};

// What indicators in continuous mode send: readings with units, status words, motion flags.
const std::vector<std::string> kLines = {
    "  1234.5 kg\r\n",
    "ST,GS,+001234.5kg\r\n",
    "US,GS,-000012.0kg\r\n",
    "+00123.4kg\r\n",
    "   12,49 kg\r\n",
    "M      1250 kg\r\n",
    "      0.0 kg\r\n",
    "ST,NT,+000998.0kg\r\n",
    "  -15.5 kg\r\n",
    "W1 G  00750.5 kg\r\n",
    "OL\r\n",
    "  99999.9 kg\r\n",
};

// `line_count` lines of the mix, or of its lines with fewer than two commas: those that the
// station read as one number before it looked behind status fields.
std::string MakeStream(std::size_t line_count, bool with_status_fields) {
    std::vector<std::string> lines;
    for (const std::string& line : kLines) {
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
    WeightDecoder decoder(log, displays, ',');
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

void BM_LinesReadAsOneNumber(benchmark::State& state) {
    FeedInChunks(state, false);
}
BENCHMARK(BM_LinesReadAsOneNumber)->Arg(1460);

}  // namespace
}  // namespace station

BENCHMARK_MAIN();
