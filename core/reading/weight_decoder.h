#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/log_throttle.h"
#include "base/time_source.h"
#include "core/reading/framer.h"
#include "core/reading/indicator_format.h"
#include "core/reading/reading_displays.h"
#include "core/reading/receive_buffer.h"
#include "core/reading/transmission_log.h"
#include "core/scales.h"

namespace station {

// Protocol code of plain weight lines, the only kind of scale data the station knows.
inline constexpr int kWeightLineProtocol = 35;

// Turns each scale's byte stream into readings: cuts it into lines at carriage returns, logs
// every line and shows the rounded number it holds, or "#err". A scale given a format of its
// own (a preset or a pattern) is read by that instead, cut into frames as the format says: its
// weight shown as numbers always are, "OL" or "UL" out of range, "#err" for anything that is no
// weight, and whether the load moves.
class WeightDecoder {
public:
    // The most a scale's unfinished line holds (framer.h).
    static constexpr std::size_t kReceiveBufferCap = Framer::kFrameCap;

    // `time` paces the lines it logs again and again (the loop's, on the loop).
    WeightDecoder(TransmissionLog& log, ReadingDisplays& displays, char decimal_separator,
                  const TimeSource& time)
        : log_(log), displays_(displays), separator_(decimal_separator), time_(time) {}

    // Takes the first `length` bytes of `data` into `buffer`, the scale's unfinished line;
    // every carriage return completes a line, line feeds are dropped, unless the scale's format
    // frames otherwise.
    void AppendReceivedData(std::string_view data, int length, int code, ReceiveBuffer& buffer,
                            int scale);

    // Whether the scale's frame under way is read only once its line falls quiet (framer.h).
    bool AwaitsQuiet(int scale, const ReceiveBuffer& buffer) const {
        return IsScaleNumber(scale) &&
               framers_[static_cast<std::size_t>(scale - 1)].AwaitsQuiet(buffer);
    }
    // The scale has sent nothing for a while since its last bytes.
    void LineQuiet(int scale, ReceiveBuffer& buffer);

    // Logs the line, then shows its reading for scales 1 to 4: the line read as one number or,
    // when that fails, the field that follows its comma-separated status header.
    void DecodeWeightLine(std::string_view line, int code, int scale);

    void ShowWeight(int scale, const Reading& reading);

    // Scale `scale` read by `format` from now on; nullptr for the standard rule.
    void SetFormat(int scale, std::unique_ptr<IndicatorFormat> format);

    bool HasFormat(int scale) const {
        return IsScaleNumber(scale) && formats_[static_cast<std::size_t>(scale - 1)] != nullptr;
    }

    char DecimalSeparator() const { return separator_; }
    // Lines decoded since start-up, for throughput figures.
    std::uint64_t LineCount() const { return lines_; }

private:
    class ScaleFrames;

    // The line's characters read as one whole number, as shown, or "#err".
    std::string NumberShown(std::string_view line) const;
    void ShowIndicatorReading(int scale, IndicatorReading reading);

    TransmissionLog& log_;
    ReadingDisplays& displays_;
    char separator_;
    const TimeSource& time_;
    std::uint64_t lines_ = 0;
    std::array<std::unique_ptr<IndicatorFormat>, kScaleCount> formats_;
    std::array<std::string, kScaleCount> units_;  // as each scale's frames last wrote it
    std::array<Framer, kScaleCount> framers_;
    // Each scale's failed checksums: at most one line a minute.
    std::array<LogThrottle, kScaleCount> checksum_said_{};
};

}  // namespace station
