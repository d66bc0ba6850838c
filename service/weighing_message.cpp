#include "service/weighing_message.h"

#include <nlohmann/json.hpp>

#include <array>

#include "core/text/code_page.h"

namespace station {

std::string IsoLocalTime(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    std::array<char, 32> text{};
    const std::size_t length = std::strftime(text.data(), text.size(), "%FT%T%z", &local);
    if (length < 2) {
        return {};  // strftime failed: no time rather than a wrong one
    }
    // strftime gives "+0100"; ISO 8601's extended form wants "+01:00".
    return std::string(text.data(), length - 2) + ':' + std::string(text.data() + length - 2, 2);
}

namespace {

// "unit", where it says more than the kilograms a message without one means.
void AddUnit(nlohmann::ordered_json& message, std::string_view unit) {
    if (!unit.empty() && unit != "kg") {
        message["unit"] = Cp1250ToUtf8(unit);
    }
}

}  // namespace

std::string WeighingMessage(const RegisterEntry& entry, const RegisterLineFields& fields,
                            const std::string& station, const std::string& unit) {
    nlohmann::ordered_json message;
    message["id"] = station + "/" + entry.start.file_name.substr(0, 6) + "/" +
                    std::to_string(entry.start.offset);
    message["scale"] = fields.scale;
    message["reading"] = Cp1250ToUtf8(fields.reading);
    AddUnit(message, unit);
    message["time"] = nullptr;
    if (const auto time = StampTime(fields.stamp)) {
        message["time"] = IsoLocalTime(*time);
    }
    message["line"] = Cp1250ToUtf8(entry.line);
    return message.dump();
}

std::string ScaleStateMessage(bool connected, const Reading& reading, std::time_t time) {
    nlohmann::ordered_json message;
    message["connected"] = connected;
    message["reading"] = Cp1250ToUtf8(reading.Text());
    AddUnit(message, reading.unit);
    message["motion"] = nullptr;
    if (reading.motion) {
        message["motion"] = *reading.motion;
    }
    message["range"] = nullptr;
    switch (reading.kind) {
        case Reading::Kind::kWeight:
            message["range"] = "ok";
            break;
        case Reading::Kind::kOver:
            message["range"] = "over";
            break;
        case Reading::Kind::kUnder:
            message["range"] = "under";
            break;
        case Reading::Kind::kNoWeight:
        case Reading::Kind::kNothingYet:
            break;
    }
    message["time"] = IsoLocalTime(time);
    return message.dump();
}

}  // namespace station
