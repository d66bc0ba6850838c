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
        const auto& format = formats_[static_cast<std::size_t>(scale - 1)];
        if (format && format->FrameBy().end != kCarriageReturn) {
            AppendFramed(data, format->FrameBy(), code, buffer, scale);
            return;
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

void WeightDecoder::AppendFramed(std::string_view data, IndicatorFormat::Framing framing, int code,
                                 ReceiveBuffer& buffer, int scale) {
    while (!data.empty()) {
        const std::size_t end = data.find(framing.end);
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
        if (framing.end_starts_frame) {
            buffer.line.push_back(framing.end);
        }
        data.remove_prefix(end + 1);
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
    Reading shown{Reading::Kind::kWeight, NumberShown(line), std::nullopt};
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
}

void WeightDecoder::ShowIndicatorReading(int scale, const IndicatorReading& reading) {
    if (reading.changes_nothing) {
        return;
    }
    if (reading.checksum_failed) {
        auto& logged = checksum_logged_[static_cast<std::size_t>(scale - 1)];
        const auto now = std::chrono::steady_clock::now();
        if (logged == std::chrono::steady_clock::time_point{} ||
            now - logged >= std::chrono::minutes(1)) {
            logged = now;
            log_.LogTransmission(log_code::kFault,
                                 "Waga " + std::to_string(scale) + ": checksum failed", scale);
        }
    }
    switch (reading.kind) {
        case IndicatorReading::Kind::kWeight: {
            Reading shown{Reading::Kind::kWeight, NumberShown(reading.weight), reading.motion};
            NoWeightUnlessRead(shown);
            displays_.ShowReading(scale, shown);
            return;
        }
        case IndicatorReading::Kind::kOver:
            displays_.ShowReading(scale, Reading::Of(Reading::Kind::kOver, reading.motion));
            return;
        case IndicatorReading::Kind::kUnder:
            displays_.ShowReading(scale, Reading::Of(Reading::Kind::kUnder, reading.motion));
            return;
        case IndicatorReading::Kind::kNotAWeight:
            break;
    }
    displays_.ShowReading(scale, Reading::Of(Reading::Kind::kNoWeight, reading.motion));
}

void WeightDecoder::ShowWeight(int scale, const Reading& reading) {
    if (IsScaleNumber(scale)) {
        displays_.ShowReading(scale, reading);
    }
}

}  // namespace station
