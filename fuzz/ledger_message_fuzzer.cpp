// Any message on any topic: reading never throws, a weighing it keeps has an id of the form it
// checked, and what it shows of a rejected payload is text any database takes.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ledger/ledger_message.h"

namespace {

// Valid UTF-8 without control characters but tabs: JSON-dumped with strict checking, which
// throws on invalid UTF-8.
bool IsCleanText(const std::string& text) {
    for (const char c : text) {
        if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F) {
            return false;
        }
    }
    try {
        static_cast<void>(nlohmann::json(text).dump());
    } catch (const nlohmann::json::exception&) {
        return false;
    }
    return true;
}

}  // namespace

// The input's first line is the topic, the rest the payload.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace station::ledger;
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t line_end = input.find('\n');
    const std::string_view topic = input.substr(0, line_end);
    const std::string_view payload =
        line_end == std::string_view::npos ? std::string_view() : input.substr(line_end + 1);

    const LedgerMessage message = ReadLedgerMessage("p", topic, payload, "now");
    if (const auto* weighing = std::get_if<WeighingRow>(&message)) {
        const std::string rebuilt = weighing->client_id + "/" +
                                    std::to_string(weighing->month) + "/" +
                                    weighing->id.substr(weighing->id.rfind('/') + 1);
        if (rebuilt != weighing->id || weighing->scale < 1 || weighing->scale > 4 ||
            weighing->station.empty() || weighing->line.find('\0') != std::string::npos) {
            std::abort();
        }
    }
    if (!IsCleanText(ShownBytes(payload)) || !IsCleanText(ShownBytes(topic))) {
        std::abort();
    }
    return 0;
}
