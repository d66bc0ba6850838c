#include "core/weight_decoder.h"

#include <algorithm>

#include "core/code_page.h"
#include "core/decimal_number.h"
#include "core/number_text.h"

namespace station {
namespace {

constexpr char kCarriageReturn = '\r';
constexpr char kLineFeed = '\n';
constexpr int kDisplayPrecision = 15;
constexpr int kFirstScale = 1;
constexpr int kLastScale = 4;

bool EndsRun(char c) {
    return c == kCarriageReturn || c == kLineFeed;
}

// An optional minus and at most kDisplayPrecision digits, as fixed notation writes them.
bool IsPlainWholeNumber(std::string_view text) {
    if (!text.empty() && text.front() == '-') {
        text.remove_prefix(1);
    }
    return !text.empty() && text.size() <= kDisplayPrecision &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

void WeightDecoder::AppendReceivedData(std::string_view data, int length, int code,
                                       std::string& buffer, int scale) {
    if (code != kWeightLineProtocol || length <= 0) {
        return;
    }
    data = data.substr(0, std::min(data.size(), static_cast<std::size_t>(length)));
    while (!data.empty()) {
        const auto end = std::find_if(data.begin(), data.end(), EndsRun);
        const auto runLength = static_cast<std::size_t>(end - data.begin());
        AppendCapped(data.substr(0, runLength), buffer, scale);
        if (end == data.end()) {
            return;
        }
        if (*end == kCarriageReturn) {
            DecodeWeightLine(buffer, code, scale);
            buffer.clear();
        }
        data.remove_prefix(runLength + 1);
    }
}

void WeightDecoder::AppendCapped(std::string_view bytes, std::string& buffer, int scale) {
    while (buffer.size() + bytes.size() > kReceiveBufferCap) {
        const std::size_t room = kReceiveBufferCap - buffer.size();
        bytes.remove_prefix(room);
        static const std::string kDroppedNote =
            EncodeCp1250(u"odrzucono niezakończoną linię, bajtów: ") +
            std::to_string(kReceiveBufferCap);
        log_.LogTransmission(log_code::kFault, kDroppedNote, scale);
        buffer.clear();
    }
    buffer.append(bytes);
}

void WeightDecoder::DecodeWeightLine(std::string_view line, int code, int scale) {
    ++lines_;
    log_.LogTransmission(log_code::kReceived, line, scale);
    if (line.empty() || code != kWeightLineProtocol) {
        return;
    }
    std::string number = ExtractNumber(line, 0, separator_);
    if (IsPlainWholeNumber(number)) {
        // Reading it again and writing it in general notation would give the same text.
        ShowWeight(scale, number);
        return;
    }
    RemoveSpacesInPlace(number);
    ToLocalDecimalInPlace(number, separator_);
    const auto value = ParseNumber(number, separator_);
    if (!value) {
        ShowWeight(scale, "#err");
        return;
    }
    std::string shown = FormatGeneral(*value, kDisplayPrecision, separator_);
    CommasToDotsInPlace(shown);
    ShowWeight(scale, shown);
}

void WeightDecoder::ShowWeight(int scale, const std::string& text) {
    if (scale >= kFirstScale && scale <= kLastScale) {
        displays_.SetReadingText(scale, text);
    }
}

}  // namespace station
