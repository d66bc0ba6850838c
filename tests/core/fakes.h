#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/clock.h"
#include "core/reading/reading_displays.h"
#include "core/reading/transmission_log.h"
#include "core/reading/weight_decoder.h"

namespace station::test {

class FakeClock final : public Clock {
public:
    LocalTime Local() override { return now; }
    std::time_t Seconds() override {
        std::tm local{};
        local.tm_year = now.year - 1900;
        local.tm_mon = now.month - 1;
        local.tm_mday = now.day;
        local.tm_hour = now.hour;
        local.tm_min = now.minute;
        local.tm_sec = now.second;
        local.tm_isdst = -1;
        return std::mktime(&local);
    }
    LocalTime now{2026, 12, 7, 14, 3, 7, 45};
};

class RecordingDisplays final : public ReadingDisplays {
public:
    void ShowReading(int scale, const Reading& reading) override {
        shown.emplace_back(scale, reading.Text());
        motion.push_back(reading.motion);
        readings.push_back(reading);
    }
    std::vector<std::pair<int, std::string>> shown;
    std::vector<std::optional<bool>> motion;  // of each text shown
    std::vector<Reading> readings;
};

// A decoder wired to a fake clock, an in-memory log and recording displays.
struct DecoderRig {
    explicit DecoderRig(char separator)
        : decoder(log, displays, separator, SteadyTime::Instance()) {}

    // The text shown by decoding `line` as a whole line of scale 1, or "" when none was shown.
    std::string Display(const std::string& line) {
        displays.shown.clear();
        decoder.DecodeWeightLine(line, kWeightLineProtocol, 1);
        return displays.shown.empty() ? std::string() : displays.shown.back().second;
    }

    FakeClock clock;
    TransmissionLog log{clock};
    RecordingDisplays displays;
    WeightDecoder decoder;
};

// Names the cases of a suite run under a comma and under a point separator.
inline std::string SeparatorName(const ::testing::TestParamInfo<char>& param) {
    return param.param == ',' ? "Comma" : "Point";
}

}  // namespace station::test
