#include "tools/emulator/line_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

namespace emulator {

std::string FormatLine(LineFormat format, double weight, bool moving) {
    char text[64];
    switch (format) {
        case LineFormat::kPlain:
            std::snprintf(text, sizeof text, "%8.1f kg", weight);
            break;
        case LineFormat::kStatus:
            std::snprintf(text, sizeof text, "%s,GS,%+09.1fkg", moving ? "US" : "ST", weight);
            break;
        case LineFormat::kFixed:
            std::snprintf(text, sizeof text, "%c %08.1f kg", moving ? 'M' : 'S', weight);
            break;
        case LineFormat::kComma: {
            std::snprintf(text, sizeof text, "%8.1f kg", weight);
            std::replace(text, text + sizeof text, '.', ',');
            break;
        }
        default:
            return LayoutFrame(format, weight, moving, false);
    }
    return text;
}

bool IsLayout(LineFormat format) {
    return format >= LineFormat::kStxStatus;
}

std::string LayoutFrame(LineFormat format, double weight, bool moving, bool over) {
    char text[64];
    const long tenths = std::lround(std::fabs(weight) * 10);
    switch (format) {
        case LineFormat::kStxStatus: {
            // A: one decimal; B: negative, over range, motion; C: nothing; no tare.
            const char b =
                static_cast<char>(0x30 | (weight < 0 ? 2 : 0) | (over ? 4 : 0) | (moving ? 8 : 0));
            std::snprintf(text, sizeof text,
                          "\x02"
                          "3%c0%06ld000000\r",
                          b, tenths % 1000000);
            unsigned sum = 0;
            for (const char* c = text; *c != '\0'; ++c) {
                sum += static_cast<unsigned char>(*c);
            }
            return std::string(text) + static_cast<char>((0U - sum) & 0x7FU);
        }
        case LineFormat::kCsvStatus:
            if (over) {
                return "OL,GS,+999999.9kg\r\n";
            }
            std::snprintf(text, sizeof text, "%s,GS,%+09.1fkg\r\n", moving ? "US" : "ST", weight);
            return text;
        case LineFormat::kLetterStatus:
            if (over) {
                return "S +\r\n";
            }
            std::snprintf(text, sizeof text, "S %c %10.1f kg\r\n", moving ? 'D' : 'S', weight);
            return text;
        case LineFormat::kLfRange:
            std::snprintf(text, sizeof text, "\n%c1G%c %10.1fkg\r", over ? 'O' : ' ',
                          moving ? 'M' : ' ', weight);
            return text;
        case LineFormat::kEquals: {
            // Built by appending: GCC 12 at -O3 takes a literal + string for an overlapping copy.
            std::snprintf(text, sizeof text, "%s%08.1f", weight < 0 ? "-" : "", std::fabs(weight));
            const std::string_view forward(text);
            std::string frame(1, '=');
            frame.append(forward.rbegin(), forward.rend());
            return frame;
        }
        default:
            return {};  // the plain lines are FormatLine's
    }
}

std::string LineEnd(LineEnding ending, bool no_cr) {
    switch (ending) {
        case LineEnding::kCr:
            return no_cr ? "" : "\r";
        case LineEnding::kCrLf:
            return no_cr ? "\n" : "\r\n";
        case LineEnding::kLf:
            return "\n";
    }
    return "";
}

LineSource::LineSource(const ScaleOptions& options, std::uint64_t seed)
    : options_(options), random_(seed), weight_(options.start) {}

double LineSource::NextWeight() {
    const double step = options_.step;
    switch (options_.profile) {
        case Profile::kSteady:
            return options_.start;
        case Profile::kRamp:
            return options_.start + step * static_cast<double>(count_);
        case Profile::kWalk:
            return weight_ + std::uniform_real_distribution<double>(-step, step)(random_);
        case Profile::kCycle: {
            // Load in ten steps, hold, unload in ten steps, stand empty; forty lines a cycle.
            const std::int64_t phase = count_ % 40;
            const double share = phase < 10   ? static_cast<double>(phase) / 10
                                 : phase < 20 ? 1.0
                                 : phase < 30 ? static_cast<double>(30 - phase) / 10
                                              : 0.0;
            return options_.start * share;
        }
    }
    return options_.start;
}

std::string LineSource::Next() {
    if (options_.faults.random_bytes) {
        std::string bytes(std::uniform_int_distribution<std::size_t>(1, 64)(random_), '\0');
        for (char& byte : bytes) {
            byte = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random_));
        }
        return bytes;
    }
    const double previous = weight_;
    weight_ = NextWeight();
    ++count_;
    const double noise = options_.noise > 0 ? std::uniform_real_distribution<double>(
                                                  -options_.noise, options_.noise)(random_)
                                            : 0.0;
    const bool moving = weight_ != previous;
    if (IsLayout(options_.format)) {
        const std::int64_t overload = options_.faults.overload_after;
        return LayoutFrame(options_.format, weight_ + noise, moving,
                           overload >= 0 && count_ > overload);
    }
    return FormatLine(options_.format, weight_ + noise, moving) +
           LineEnd(options_.ending, options_.faults.no_cr);
}

}  // namespace emulator
