#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "tools/emulator/options.h"

namespace emulator {

// A weight as a plain line writes it, without the line end.
std::string FormatLine(LineFormat format, double weight, bool moving);

// The bytes that end a line; with `no_cr` the carriage return is left out.
std::string LineEnd(LineEnding ending, bool no_cr);

// What one connection of one scale sends, line after line.
class LineSource {
public:
    LineSource(const ScaleOptions& options, std::uint64_t seed);

    // The next line and its end, or a burst of random bytes when that fault is on.
    std::string Next();

private:
    double NextWeight();
    // The line as the scale's faults change it.
    std::string Faulted(std::string line);

    const ScaleOptions& options_;
    std::mt19937_64 random_;
    std::int64_t count_ = 0;
    double weight_;
};

}  // namespace emulator
