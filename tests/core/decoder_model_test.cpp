// The reading path checked against a deliberately plain model of what a line should show:
// integer arithmetic on the kept characters instead of decimal digit strings.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/core/fakes.h"

namespace station {
namespace {

__extension__ using Int = unsigned __int128;

Int PowerOfTen(int n) {
    Int p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

int DigitCount(Int n) {
    int count = 0;
    for (; n > 0; n /= 10) {
        ++count;
    }
    return count;
}

std::string ToText(Int n) {
    std::string text;
    do {
        text.insert(text.begin(), static_cast<char>('0' + static_cast<int>(n % 10)));
        n /= 10;
    } while (n > 0);
    return text;
}

// n / 10^places, halves away from zero (n is a magnitude).
Int DivideRounded(Int n, int places) {
    if (places <= 0) {
        return n;
    }
    const Int unit = PowerOfTen(places);
    return n / unit + ((n % unit) * 2 >= unit ? 1 : 0);
}

// What the display should show for a non-empty line: at most 36 kept characters.
std::string ModelDisplay(const std::string& line) {
    std::string kept;
    for (char c : line) {
        if (c == ',' || c == '.' || c == '-' || (c >= '0' && c <= '9')) {
            kept += c;
        }
    }
    const bool negative = !kept.empty() && kept[0] == '-';
    const std::string body = negative ? kept.substr(1) : kept;
    std::string digits;
    int fractionLength = 0;
    int marks = 0;
    for (char c : body) {
        if (c == ',' || c == '.') {
            ++marks;
        } else if (c == '-') {
            return "#err";
        } else {
            digits += c;
            fractionLength += marks;
        }
    }
    if (kept.empty() || marks > 1 || (digits.empty() && marks == 0)) {
        return "#err";
    }
    Int n = 0;
    for (char c : digits) {
        n = n * 10 + static_cast<Int>(c - '0');
    }
    // 18 significant digits first.
    if (DigitCount(n) > 18) {
        const int dropped = DigitCount(n) - 18;
        n = DivideRounded(n, dropped) * PowerOfTen(dropped);
    }
    const int integerDigits = DigitCount(n) - fractionLength;
    Int whole = 0;
    if (integerDigits <= 8) {
        whole = DivideRounded(n, fractionLength);
    }
    if (integerDigits > 8 || DigitCount(whole) > 8) {
        // Eight significant digits, then shown in full up to 15 digits, else as d.dddE<power>.
        const int dropped = DigitCount(n) - 8;
        Int eight = DivideRounded(n, dropped);
        int power = dropped - fractionLength;
        if (DigitCount(eight) > 8) {
            eight /= 10;
            ++power;
        }
        const int totalDigits = 8 + power;
        if (totalDigits <= 15) {
            return (negative ? "-" : "") + ToText(eight * PowerOfTen(power));
        }
        std::string mantissa = ToText(eight);
        while (mantissa.size() > 1 && mantissa.back() == '0') {
            mantissa.pop_back();
        }
        std::string text = negative ? "-" : "";
        text += mantissa[0];
        if (mantissa.size() > 1) {
            text += "." + mantissa.substr(1);
        }
        return text + "E" + std::to_string(totalDigits - 1);
    }
    return (negative && whole != 0 ? "-" : "") + ToText(whole);
}

// Random scale traffic: mostly number-like lines, with junk, status words and stray marks.
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
    if (percent(random) < 5) {
        line.insert(line.begin() + std::uniform_int_distribution<long>(
                                       0, static_cast<long>(line.size()))(random),
                    '\n');
    }
    return line;
}

class DecoderAgainstModel : public ::testing::TestWithParam<char> {};

TEST_P(DecoderAgainstModel, AgreeOnAMillionRandomLines) {
    constexpr int kLines = 1'000'000;
    std::mt19937_64 random(GetParam() == ',' ? 1 : 2);
    test::DecoderRig rig(GetParam());
    std::string buffer;
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
