#include "core/reading/weight_decoder.h"

#include <algorithm>

#include "common/ascii.h"
#include "common/code_page.h"
#include "core/reading/status_header.h"
#include "core/scales.h"
#include "core/text/decimal_number.h"
#include "core/text/number_text.h"

namespace station {
namespace {

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

// An optional minus and at most kDisplayPrecision digits, as fixed notation writes them.
bool IsPlainWholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    return !text.empty() && text.size() <= kDisplayPrecision &&
           std::all_of(text.begin(), text.end(), [](char c) { return IsDigit(c); });
}

}  // namespace

// One scale's frames, as its framer cuts them, into the decoder.
class WeightDecoder::ScaleFrames final : public FrameSink {
public:
    ScaleFrames(WeightDecoder& decoder, int code, int scale)
        : decoder_(decoder), code_(code), scale_(scale) {}

    void FrameCut(std::string_view frame) override {
        decoder_.DecodeWeightLine(frame, code_, scale_);
    }
    // A check that fails a frame already shown is shown; one that passes changes nothing.
    void CheckFollowed(std::string_view frame) override {
        IndicatorReading checked =
            decoder_.formats_[static_cast<std::size_t>(scale_ - 1)]->Read(frame);
        if (checked.checksum_failed) {
            decoder_.ShowIndicatorReading(scale_, std::move(checked));
        }
    }
    void FrameDropped() override {
        static const std::string kDroppedNote =
            EncodeCp1250(u"odrzucono niezakończoną linię, bajtów: ") +
            std::to_string(kReceiveBufferCap);
        decoder_.log_.LogTransmission(log_code::kFault, kDroppedNote, scale_);
    }

private:
    WeightDecoder& decoder_;
    int code_;
    int scale_;
};

void WeightDecoder::AppendReceivedData(std::string_view data, int length, int code,
                                       ReceiveBuffer& buffer, int scale) {
    if (code != kWeightLineProtocol || length <= 0) {
        return;
    }
    data = data.substr(0, std::min(data.size(), static_cast<std::size_t>(length)));
    ScaleFrames frames(*this, code, scale);
    if (IsScaleNumber(scale)) {
        framers_[static_cast<std::size_t>(scale - 1)].Append(data, buffer, frames);
    } else {
        Framer().Append(data, buffer, frames);  // lines, as every scale without a format
    }
}

void WeightDecoder::LineQuiet(int scale, ReceiveBuffer& buffer) {
    if (IsScaleNumber(scale)) {
        ScaleFrames frames(*this, kWeightLineProtocol, scale);
        framers_[static_cast<std::size_t>(scale - 1)].Quiet(buffer, frames);
    }
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
    Reading shown{Reading::Kind::kWeight, NumberShown(line), std::nullopt, {}, {}, false};
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
    const auto index = static_cast<std::size_t>(scale - 1);
    framers_.at(index) = Framer(format ? format->FrameBy() : IndicatorFormat::kLines);
    formats_.at(index) = std::move(format);
    units_.at(index).clear();
}

void WeightDecoder::ShowIndicatorReading(int scale, IndicatorReading reading) {
    if (reading.changes_nothing) {
        return;
    }
    const auto index = static_cast<std::size_t>(scale - 1);
    if (reading.checksum_failed) {
        if (checksum_said_[index].Due(time_.Now())) {
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
