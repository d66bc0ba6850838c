#include "core/reading/weight_decoder.h"

#include <algorithm>

#include "core/reading/status_header.h"
#include "core/scales.h"
#include "core/text/ascii.h"
#include "core/text/code_page.h"
#include "core/text/decimal_number.h"
#include "core/text/number_text.h"

namespace station {
namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
constexpr int kDisplayPrecision = 15;
constexpr std::string_view kUnreadable = "#err";

// A reading whose number did not read is no weight. The weight is made in place (this runs for
// every line), and only then judged.
void NoWeightUnlessRead(Reading& reading) {
    if (reading.weight == kUnreadable) {
        reading.kind = Reading::Kind::kNoWeight;
        reading.weight.clear();
        reading.exact.clear();
    }
}

bool EndsRun(char c) {
    return c == kCarriageReturn || c == kLineFeed;
}

// An optional minus and at most kDisplayPrecision digits, as fixed notation writes them.
bool IsPlainWholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    return !text.empty() && text.size() <= kDisplayPrecision &&
           std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c); });
}

}  // namespace

void WeightDecoder::AppendReceivedData(std::string_view data, int length, int code,
                                       ReceiveBuffer& buffer, int scale) {
    if (code != kWeightLineProtocol || length <= 0) {
        return;
    }
    data = data.substr(0, std::min(data.size(), static_cast<std::size_t>(length)));
    if (IsScaleNumber(scale)) {
        if (const auto& format = formats_[static_cast<std::size_t>(scale - 1)]) {
            const IndicatorFormat::Framing framing = format->FrameBy();
            if (framing.start != 0) {
                AppendChecked(data, framing, code, buffer, scale);
                return;
            }
            if (framing.end_starts_frame) {
                AppendStarted(data, framing.end, code, buffer, scale);
                return;
            }
            if (framing.end != kCarriageReturn) {
                AppendFramed(data, framing.end, code, buffer, scale);
                return;
            }
        }
    }
    while (!data.empty()) {
        const auto end = std::find_if(data.begin(), data.end(), EndsRun);
        const auto run_length = static_cast<std::size_t>(end - data.begin());
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, run_length), buffer, scale);
        }
        if (end == data.end()) {
            return;
        }
        if (*end == kCarriageReturn) {
            if (!buffer.skipping_overlong_line) {
                DecodeWeightLine(buffer.line, code, scale);
            }
            buffer.Clear();
        }
        data.remove_prefix(run_length + 1);
    }
}

void WeightDecoder::AppendFramed(std::string_view data, char end_byte, int code,
                                 ReceiveBuffer& buffer, int scale) {
    while (!data.empty()) {
        const std::size_t end = data.find(end_byte);
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, end), buffer, scale);
        }
        if (end == std::string_view::npos) {
            return;
        }
        if (!buffer.skipping_overlong_line && !buffer.line.empty()) {
            DecodeWeightLine(buffer.line, code, scale);
        }
        buffer.Clear();
        data.remove_prefix(end + 1);
    }
}

void WeightDecoder::AppendStarted(std::string_view data, char start, int code,
                                  ReceiveBuffer& buffer, int scale) {
    std::size_t& length = frame_lengths_[static_cast<std::size_t>(scale - 1)];
    while (!data.empty()) {
        const std::size_t next = data.find(start);
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, next), buffer, scale);
        }
        const bool readable = !buffer.skipping_overlong_line && !buffer.line.empty();
        if (readable && !buffer.frame_read && buffer.line.size() == length) {
            DecodeWeightLine(buffer.line, code, scale);  // as long as the frame before: whole
            buffer.frame_read = true;
        }
        if (next == std::string_view::npos) {
            return;
        }
        // The next frame starts: this one is whole. Read unless it was, as it is now.
        if (readable) {
            if (!buffer.frame_read || buffer.line.size() != length) {
                DecodeWeightLine(buffer.line, code, scale);
            }
            length = buffer.line.size();
        }
        buffer.Clear();
        buffer.line.push_back(start);
        data.remove_prefix(next + 1);
    }
}

void WeightDecoder::AppendChecked(std::string_view data, IndicatorFormat::Framing framing, int code,
                                  ReceiveBuffer& buffer, int scale) {
    while (!data.empty()) {
        if (buffer.frame_read) {
            // The byte after a frame read at its end: the next frame's start or the frame's check,
            // which may yet fail it.
            if (data.front() != framing.start) {
                buffer.line.push_back(data.front());
                data.remove_prefix(1);
                IndicatorReading checked =
                    formats_[static_cast<std::size_t>(scale - 1)]->Read(buffer.line);
                if (checked.checksum_failed) {
                    ShowIndicatorReading(scale, std::move(checked));
                }
            }
            buffer.Clear();
            continue;
        }
        const std::size_t end = data.find(framing.end);
        if (!buffer.skipping_overlong_line) {
            AppendCapped(data.substr(0, end == std::string_view::npos ? end : end + 1), buffer,
                         scale);
        }
        if (end == std::string_view::npos) {
            return;
        }
        data.remove_prefix(end + 1);
        if (buffer.skipping_overlong_line || buffer.line.empty()) {
            buffer.Clear();
            continue;
        }
        const bool check_here = !data.empty() && data.front() != framing.start;
        if (check_here) {
            buffer.line.push_back(data.front());
            data.remove_prefix(1);
        }
        DecodeWeightLine(buffer.line, code, scale);
        if (check_here || !data.empty()) {
            buffer.Clear();
        } else {
            buffer.frame_read = true;  // read where the bytes end: its check may come next
        }
    }
}

void WeightDecoder::AppendCapped(std::string_view bytes, ReceiveBuffer& buffer, int scale) {
    if (buffer.line.size() + bytes.size() <= kReceiveBufferCap) {
        buffer.line.append(bytes);
        return;
    }
    static const std::string kDroppedNote =
        EncodeCp1250(u"odrzucono niezakończoną linię, bajtów: ") +
        std::to_string(kReceiveBufferCap);
    log_.LogTransmission(log_code::kFault, kDroppedNote, scale);
    buffer.line.clear();
    buffer.skipping_overlong_line = true;
}

void WeightDecoder::DecodeWeightLine(std::string_view line, int code, int scale) {
    ++lines_;
    log_.LogTransmission(log_code::kReceived, line, scale);
    displays_.LineDecoded(scale, line);
    if (line.empty() || code != kWeightLineProtocol) {
        return;
    }
    if (IsScaleNumber(scale)) {
        if (const auto& format = formats_[static_cast<std::size_t>(scale - 1)]) {
            ShowIndicatorReading(scale, format->Read(line));
            return;
        }
    }
    Reading shown{Reading::Kind::kWeight, NumberShown(line), std::nullopt, {}, {}};
    if (shown.weight == kUnreadable) {
        if (const auto field = ReadingField(line)) {
            shown.weight = NumberShown(*field);
        }
    }
    NoWeightUnlessRead(shown);
    ShowWeight(scale, shown);
}

std::string WeightDecoder::NumberShown(std::string_view line) const {
    // One text throughout, returned in place: this runs for every line a scale sends.
    std::string text = ExtractNumber(line, 0, separator_);
    if (IsPlainWholeNumber(text)) {
        // Reading it again and writing it in general notation would give the same text.
        return text;
    }
    RemoveSpacesInPlace(text);
    ToLocalDecimalInPlace(text, separator_);
    if (const auto value = ParseNumber(text, separator_)) {
        text = FormatGeneral(*value, kDisplayPrecision, separator_);
        CommasToDotsInPlace(text);
    } else {
        text = kUnreadable;
    }
    return text;
}

void WeightDecoder::SetFormat(int scale, std::unique_ptr<IndicatorFormat> format) {
    formats_.at(static_cast<std::size_t>(scale - 1)) = std::move(format);
    units_.at(static_cast<std::size_t>(scale - 1)).clear();
    frame_lengths_.at(static_cast<std::size_t>(scale - 1)) = 0;
}

void WeightDecoder::ShowIndicatorReading(int scale, IndicatorReading reading) {
    if (reading.changes_nothing) {
        return;
    }
    const auto index = static_cast<std::size_t>(scale - 1);
    if (reading.checksum_failed) {
        auto& logged = checksum_logged_[index];
        const auto now = std::chrono::steady_clock::now();
        if (logged == std::chrono::steady_clock::time_point{} ||
            now - logged >= std::chrono::minutes(1)) {
            logged = now;
            log_.LogTransmission(log_code::kFault,
                                 "Waga " + std::to_string(scale) + ": checksum failed", scale);
        }
    }
    // A frame that writes no unit (a moving one, an error) leaves the unit the scale last wrote.
    if (!reading.unit.empty()) {
        units_[index] = reading.unit;
    }
    Reading shown = Reading::Of(Reading::Kind::kNoWeight, reading.motion);
    shown.unit = units_[index];
    switch (reading.kind) {
        case IndicatorReading::Kind::kWeight:
            shown.kind = Reading::Kind::kWeight;
            shown.weight = NumberShown(reading.weight);
            shown.exact = std::move(reading.weight);
            NoWeightUnlessRead(shown);
            break;
        case IndicatorReading::Kind::kOver:
            shown.kind = Reading::Kind::kOver;
            break;
        case IndicatorReading::Kind::kUnder:
            shown.kind = Reading::Kind::kUnder;
            break;
        case IndicatorReading::Kind::kNotAWeight:
            break;
    }
    displays_.ShowReading(scale, shown);
}

void WeightDecoder::ShowWeight(int scale, const Reading& reading) {
    if (IsScaleNumber(scale)) {
        displays_.ShowReading(scale, reading);
    }
}

}  // namespace station
