// The reading path checked against a deliberately plain model of what a line should show:
// integer arithmetic on the kept characters instead of decimal digit strings.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/core/display_model.h"
#include "tests/core/fakes.h"

namespace station {
namespace {

using test::ModelDisplay;

// Random scale traffic: mostly number-like lines, with junk, status words and fields, and stray
// marks.
std::string RandomLine(std::mt19937_64& random) {
    static const std::string kJunk = "+- .,kgSTUNE\tWGabcxyz\x01\xb9";
    std::uniform_int_distribution<int> percent(0, 99);
    std::string line;
    const int length = std::uniform_int_distribution<int>(0, 36)(random);
    const int style = percent(random);
    for (int i = 0; i < length; ++i) {
        const int draw = percent(random);
        if (style < 60 && i > 0 && draw < 75) {
            // digits heavy in fives, nines and zeros, to hit rounding edges
            static const char kDigits[] = "01234567890599995";
            line += kDigits[std::uniform_int_distribution<int>(0, 16)(random)];
        } else if (draw < 50) {
            line += static_cast<char>('0' + draw % 10);
        } else {
            line += kJunk[std::uniform_int_distribution<std::size_t>(0, kJunk.size() - 1)(random)];
        }
    }
    if (percent(random) < 15) {
        // Status fields before the reading and a unit field after it, as many indicators send.
        static const char* const kHeaders[] = {"ST,GS,", "US,NT,", "01ST,", "OL,", "1,ST,"};
        line.resize(std::min<std::size_t>(line.size(), 28));
        line.insert(0, kHeaders[std::uniform_int_distribution<int>(0, 4)(random)]);
        if (percent(random) < 50) {
            line += ",kg";
        }
    }
    if (percent(random) < 5) {
        line.insert(line.begin() + std::uniform_int_distribution<long>(
                                       0, static_cast<long>(line.size()))(random),
                    '\n');
    }
    return line;
}

class DecoderAgainstModel : public ::testing::TestWithParam<char> {};

// A million lines; a fifth of them in a sanitizer's build, which checks the same paths many times
// slower, and still takes each of the model's branches thousands of times.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kLines = 200'000;
#else
constexpr int kLines = 1'000'000;
#endif

TEST_P(DecoderAgainstModel, AgreeOnRandomLines) {
    std::mt19937_64 random(GetParam() == ',' ? 1 : 2);
    test::DecoderRig rig(GetParam());
    ReceiveBuffer buffer;
    int checked = 0;
    while (checked < kLines) {
        // A burst of lines in one chunk, the way a read event delivers them.
        std::vector<std::string> lines;
        std::string chunk;
        for (int i = 0; i < 8; ++i) {
            lines.push_back(RandomLine(random));
            chunk += lines.back() + (i % 2 == 0 ? "\r\n" : "\r");
        }
        rig.displays.shown.clear();
        rig.decoder.AppendReceivedData(chunk, static_cast<int>(chunk.size()), kWeightLineProtocol,
                                       buffer, 2);
        std::vector<std::pair<int, std::string>> expected;
        for (std::string line : lines) {
            std::erase(line, '\n');
            if (!line.empty()) {
                expected.emplace_back(2, ModelDisplay(line));
            }
        }
        ASSERT_EQ(rig.displays.shown, expected) << "chunk: " << chunk;
        checked += static_cast<int>(lines.size());
    }
}

INSTANTIATE_TEST_SUITE_P(CommaAndPoint, DecoderAgainstModel, ::testing::Values(',', '.'),
                         test::SeparatorName);

}  // namespace
}  // namespace station
