// A fixed count of lines of the standard mix through framing, logging and decoding, for an
// instruction count under callgrind that can be compared between two builds:
//   valgrind --tool=callgrind --callgrind-out-file=/dev/null bench/decode_driver 100000
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/standard_mix.h"
#include "common/clock.h"
#include "core/reading/transmission_log.h"
#include "core/reading/weight_decoder.h"

namespace {

class CountingDisplays final : public station::ReadingDisplays {
public:
    void ShowReading(int, const station::Reading& reading) override {
        length += reading.weight.size();
    }
    std::size_t length = 0;
};

// A clock that stands still: the count must not depend on when it runs.
class StillClock final : public station::Clock {
public:
    station::LocalTime Local() override { return {2026, 12, 8, 9, 0, 0, 0}; }
    std::time_t Seconds() override { return 0; }
};

}  // namespace

int main(int argc, char** argv) {
    const std::size_t lines = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    const std::vector<std::string>& mix = bench::StandardMix();
    std::string stream;
    for (std::size_t i = 0; i < 4096; ++i) {
        stream += mix[(i * 7) % mix.size()];
    }
    StillClock clock;
    station::TransmissionLog log(clock);
    CountingDisplays displays;
    station::WeightDecoder decoder(log, displays, ',', station::SteadyTime::Instance());
    station::ReceiveBuffer buffer;
    for (std::size_t done = 0; done < lines; done += 4096) {
        for (std::size_t at = 0; at < stream.size(); at += 1460) {
            const std::string piece = stream.substr(at, 1460);
            decoder.AppendReceivedData(piece, static_cast<int>(piece.size()),
                                       station::kWeightLineProtocol, buffer, 1);
        }
    }
    return displays.length == 0 ? 1 : 0;
}
