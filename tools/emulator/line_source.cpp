#include "tools/emulator/line_source.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "tools/emulator/preset_frames.h"

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
        case LineFormat::kPreset:
            return {};  // a preset's frames are MakePresetFrame's
    }
    return text;
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
    if (options_.format == LineFormat::kPreset) {
        const auto after = [&](std::int64_t lines) { return lines >= 0 && count_ > lines; };
        const bool under = after(options_.faults.underload_after);
        const std::int64_t tenths = std::llround((weight_ + noise) * 10);
        FirstFill fill;
        return Faulted(MakePresetFrame(options_.preset, under ? -std::llabs(tenths) - 1 : tenths,
                                       moving, under || after(options_.faults.overload_after), fill,
                                       options_.unit, options_.variant)
                           .bytes);
    }
    return Faulted(FormatLine(options_.format, weight_ + noise, moving) +
                   LineEnd(options_.ending, options_.faults.no_cr));
}

std::string LineSource::Faulted(std::string line) {
    const Faults& faults = options_.faults;
    const auto every = [&](std::int64_t lines) { return lines > 0 && count_ % lines == 0; };
    if (faults.lf_endings) {
        for (std::size_t at; (at = line.find("\r\n")) != std::string::npos;) {
            line.erase(at, 1);
        }
        if (line.ends_with('\r')) {
            line.back() = '\n';
        }
    }
    if (every(faults.lost_ending_every) || every(faults.glued_half_every)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) {
            line.pop_back();
        }
        if (every(faults.glued_half_every)) {
            line.resize(line.size() / 2);
        }
    }
    if (every(faults.noise_every)) {
        // Bytes no frame ends with, so that the frame after them shows whether it is read.
        std::string burst(std::uniform_int_distribution<std::size_t>(1, 16)(random_), '\0');
        for (char& byte : burst) {
            do {
                byte = static_cast<char>(std::uniform_int_distribution<int>(0, 255)(random_));
            } while (std::string_view("\r\n\x03=").find(byte) != std::string_view::npos);
        }
        line.insert(0, burst);
    }
    return line;
}

}  // namespace emulator
