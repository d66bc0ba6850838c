// Arbitrary byte streams through every preset and a pattern, cut into arbitrary chunks: nothing
// crashes, the buffer stays bounded, every text shown is a number, "OL", "UL" or "#err", and no
// preset reads a weight in a frame its layout marks as something else. And frames of each
// preset's own layout with a known weight and the input's values in every other field: the
// reading is that weight, never another field; and such a frame damaged as a line's bad day
// damages it reads as its own weight or none, never another number.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/ascii.h"
#include "core/reading/frame_fields.h"
#include "core/reading/framer.h"
#include "core/reading/pattern_format.h"
#include "tests/core/fakes.h"
#include "tools/emulator/preset_frames.h"

namespace {

// The input's bytes as the frame's other fields; zeros once they run out.
class BytesFill final : public emulator::FrameFill {
public:
    explicit BytesFill(std::string_view bytes) : bytes_(bytes) {}
    unsigned Next(unsigned below) override {
        return at_ < bytes_.size() ? static_cast<unsigned char>(bytes_[at_++]) % below : 0;
    }

private:
    std::string_view bytes_;
    std::size_t at_ = 0;
};

// Each frame cut, handed to `take`.
template <typename Take>
class EachFrame final : public station::FrameSink {
public:
    explicit EachFrame(Take take) : take_(std::move(take)) {}
    void FrameCut(std::string_view frame) override { take_(frame); }

private:
    Take take_;
};

// Cuts `bytes` as `framing` says, a stream's last frame counting as ended.
template <typename Take>
void ForEachFrame(station::IndicatorFormat::Framing framing, std::string_view bytes, Take take) {
    station::Framer framer(framing);
    station::ReceiveBuffer buffer;
    EachFrame<Take> frames(std::move(take));
    framer.Append(bytes, buffer, frames);
    framer.End(buffer, frames);
}

// Every reading the decoder shows for the frames of `bytes`.
std::vector<station::Reading> Readings(std::string_view preset, std::string_view bytes) {
    station::test::DecoderRig rig('.');
    auto format = station::MakePreset(preset);
    const station::IndicatorFormat::Framing framing = format->FrameBy();
    rig.decoder.SetFormat(1, std::move(format));
    ForEachFrame(framing, bytes, [&](std::string_view frame) {
        rig.decoder.DecodeWeightLine(frame, station::kWeightLineProtocol, 1);
    });
    return rig.displays.readings;
}

// Whether `reading` is a weight other than every one of `weights`.
bool AnotherNumber(const station::Reading& reading, std::initializer_list<std::string> weights) {
    if (reading.kind != station::Reading::Kind::kWeight) {
        return false;
    }
    return std::none_of(weights.begin(), weights.end(), [&](const std::string& weight) {
        const std::optional<std::string> difference =
            weight.empty() ? std::nullopt : station::Difference(reading.exact, weight);
        return difference && difference->find_first_not_of("0.") == std::string::npos;
    });
}

// Where a frame's ending starts: the CR and LF bytes it ends with.
std::size_t EndingAt(std::string_view bytes) {
    std::size_t at = bytes.size();
    while (at > 0 && (bytes[at - 1] == '\r' || bytes[at - 1] == '\n')) {
        --at;
    }
    return at;
}

// The frame damaged as a line's bad day damages it: cut short and glued to the next frame, its
// ending changed, or a letter of a field that is no digit changed. What is shown is the frame's
// own weight (the next one's, for a glued half) or no weight, never another number. A changed
// digit would be another weight, and is left out; so are the changes a layout cannot tell: a
// frame of "=" frames cut short is a narrower frame, a block cut at a line's end is a block of
// its own (and a scale's first gross shows before its net: of a block, the last reading counts),
// a label or a gross-or-net letter says which weight is shown, the letter that marks a frame out
// of range makes its digits no weight, and stx-etx's status letter stands where a raw check byte
// may.
void CheckDamaged(std::string_view preset, const emulator::PresetFrame& frame,
                  emulator::FrameFill& fill, std::string_view unit) {
    const std::string& bytes = frame.bytes;
    std::string damaged;
    std::string next_weight;
    switch (fill.Next(3)) {
        case 0: {
            if (preset.starts_with("equals") || preset == "block" || bytes.size() < 2) {
                return;
            }
            const emulator::PresetFrame next = emulator::MakePresetFrame(
                preset, 4321, false, false, fill, unit, static_cast<int>(fill.Next(8)));
            // Cut after its weight began: the fields before it alone (an id, a sign, blanks)
            // are a header that the next frame's number completes as a frame of its own.
            const std::string magnitude = frame.weight.substr(frame.weight.starts_with('-'));
            const std::string whole = magnitude.substr(0, magnitude.find('.'));
            std::size_t digit =
                whole.empty() || whole == "0" ? std::string::npos : bytes.rfind(whole);
            if (digit == std::string::npos) {
                digit = bytes.find_last_of("0123456789");
            }
            if (digit == std::string::npos || digit + 1 >= bytes.size()) {
                return;
            }
            const std::size_t kept =
                digit + 1 + fill.Next(static_cast<unsigned>(bytes.size() - digit - 1));
            damaged = bytes.substr(0, kept) + next.bytes;
            next_weight = next.weight;
            break;
        }
        case 1: {
            static constexpr std::string_view kEndings[] = {"", "\r", "\n", "\r\n", "\n\r"};
            const std::size_t at = EndingAt(bytes);
            if (at == 0) {
                return;
            }
            damaged = bytes.substr(0, at) + std::string(kEndings[fill.Next(5)]) + bytes;
            break;
        }
        default: {
            if (preset == "block" || preset == "stx-etx" || frame.over || frame.under) {
                return;
            }
            std::vector<std::size_t> letters;
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                const char lower = station::ToLowerAscii(bytes[i]);
                if (lower >= 'a' && lower <= 'z' && lower != 'g' && lower != 'n') {
                    letters.push_back(i);
                }
            }
            if (letters.empty()) {
                return;
            }
            damaged = bytes;
            char& letter = damaged[letters[fill.Next(static_cast<unsigned>(letters.size()))]];
            static constexpr std::string_view kOthers =
                "ABCDEFHIJKLMOPQRSTUVWXYZabcdefhijklmopqrstuvwxyz";
            letter = kOthers[fill.Next(static_cast<unsigned>(kOthers.size()))];
            break;
        }
    }
    std::vector<station::Reading> readings = Readings(preset, damaged);
    if (preset == "block" && !readings.empty()) {
        readings.erase(readings.begin(), readings.end() - 1);  // a first gross shows before its net
    }
    for (const station::Reading& reading : readings) {
        if (AnotherNumber(reading, {frame.weight, next_weight})) {
            std::abort();
        }
    }
}

void CheckOwnLayout(std::string_view preset, std::string_view input) {
    if (input.size() < 5) {
        return;
    }
    std::int64_t tenths = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        tenths = tenths * 256 + static_cast<unsigned char>(input[i]);
    }
    tenths = (tenths % 2000000001) - 1000000000;
    const auto flags = static_cast<unsigned char>(input[4]);
    const std::string_view unit =
        emulator::kFrameUnits[(flags >> 4U) % std::size(emulator::kFrameUnits)];
    BytesFill fill(input.substr(5));
    const emulator::PresetFrame frame = emulator::MakePresetFrame(
        preset, tenths, (flags & 1U) != 0, (flags & 0x0EU) == 0x0EU, fill, unit);
    if (frame.bytes.empty() || !station::MakePreset(preset)) {
        std::abort();  // a preset without frames to try
    }
    const std::vector<station::Reading> readings = Readings(preset, frame.bytes);
    const station::Reading reading = readings.empty() ? station::Reading{} : readings.back();
    using Shown = station::Reading::Kind;
    if (frame.over || frame.under) {
        if (reading.kind != (frame.over ? Shown::kOver : Shown::kUnder)) {
            std::abort();
        }
    } else if (frame.weight.empty()) {
        if (reading.kind == Shown::kWeight) {
            std::abort();
        }
    } else {
        const std::optional<std::string> difference =
            reading.kind == Shown::kWeight ? station::Difference(reading.exact, frame.weight)
                                           : std::nullopt;
        if (!difference || difference->find_first_not_of("0.") != std::string::npos) {
            std::abort();
        }
        if (reading.unit != frame.unit) {
            std::abort();  // the unit read is the one sent, and none where none was
        }
    }
    CheckDamaged(preset, frame, fill, unit);
}

// Frames whose layout says they hold no weight, by preset.
bool MarkedNoWeight(std::string_view preset, std::string_view frame) {
    if (preset == "csv-status") {
        return frame.starts_with("QT,") || frame.starts_with("OL,") || frame.starts_with("UL,");
    }
    if (preset == "letter-status") {
        return frame.starts_with("S I") || frame.starts_with("S +") || frame.starts_with("S -");
    }
    if (preset == "dollar") {
        return frame.size() == 7 && frame.starts_with("$3");
    }
    if (preset == "id-line") {
        return frame.starts_with("Err");
    }
    if (preset == "lf-range") {
        return !frame.empty() && (frame[0] == 'E' || frame[0] == 'O' || frame[0] == 'U');
    }
    return false;
}

// A decoder shows a number as numbers are shown, or one of the other kinds, never nothing.
bool IsShown(const station::Reading& reading) {
    if (reading.kind != station::Reading::Kind::kWeight) {
        return reading.kind != station::Reading::Kind::kNothingYet;
    }
    return !reading.weight.empty() &&
           reading.weight.find_first_not_of("-0123456789.,E+") == std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3) {
        return 0;
    }
    const auto& names = station::PresetNames();
    const std::size_t choice = data[0] % (names.size() + 1);
    const char separator = (data[1] & 1) != 0 ? ',' : '.';
    const std::size_t chunk = 1 + data[2] % 64;
    const std::string stream(reinterpret_cast<const char*>(data + 3), size - 3);

    station::PatternProblem problem;
    std::unique_ptr<station::IndicatorFormat> format =
        choice < names.size()
            ? station::MakePreset(names[choice])
            : station::PatternFormat::Make(
                  R"((?P<over>\^)|(?P<sign>[-+])? *(?P<weight>[0-9]+(?:[.,][0-9]+)?) *kg(?P<motion>\?)?)",
                  problem);
    const std::string_view preset = choice < names.size() ? names[choice] : "pattern";
    if (!format) {
        std::abort();
    }
    if (choice < names.size()) {
        CheckOwnLayout(preset, std::string_view(reinterpret_cast<const char*>(data + 3), size - 3));
    }
    const station::IndicatorFormat::Framing framing = format->FrameBy();

    station::test::DecoderRig rig(separator);
    rig.decoder.SetFormat(1, std::move(format));
    station::ReceiveBuffer buffer;
    for (std::size_t at = 0; at < stream.size(); at += chunk) {
        const std::string piece = stream.substr(at, chunk);
        rig.decoder.AppendReceivedData(piece, static_cast<int>(piece.size()),
                                       station::kWeightLineProtocol, buffer, 1);
        if (buffer.line.size() > station::WeightDecoder::kReceiveBufferCap) {
            std::abort();
        }
    }
    for (const station::Reading& reading : rig.displays.readings) {
        if (!IsShown(reading)) {
            std::abort();
        }
    }

    // The layouts' own marks, frame by frame, for the presets that cut frames at CR.
    if (framing.end == '\r') {
        const auto reader = station::MakePreset(preset);
        ForEachFrame(framing, stream, [&](std::string_view frame) {
            if (reader && MarkedNoWeight(preset, frame) &&
                reader->Read(frame).kind == station::IndicatorReading::Kind::kWeight) {
                std::abort();
            }
        });
    }
    return 0;
}
