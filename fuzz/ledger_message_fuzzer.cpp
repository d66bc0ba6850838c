// Any message on any topic: reading never throws, a weighing it keeps has an id of the form it
// checked, a month no later than the next, every field within its bound and a room's name that
// is clean text, its places read back as written, and what it shows of a rejected payload is
// text any database takes. The payload read as a replay request never throws either, and one it
// takes is written back as what it read.
#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ledger/store/ledger_message.h"
#include "protocol/replay_request.h"
#include "protocol/utf8_text.h"

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

    const LedgerMessage message =
        ReadLedgerMessage("p", topic, payload, "2026-12-09T05:00:00+01:00");
    if (const auto* weighing = std::get_if<WeighingRow>(&message)) {
        const std::string rebuilt = weighing->client_id + "/" + std::to_string(weighing->month) +
                                    "/" + weighing->id.substr(weighing->id.rfind('/') + 1);
        if (rebuilt != weighing->id || weighing->scale < 1 || weighing->scale > 4 ||
            weighing->station.empty() || weighing->line.find('\0') != std::string::npos ||
            weighing->month > 202612 || weighing->station.size() > 200 ||
            !IsCleanText(weighing->station) || weighing->id.size() > 300 ||
            weighing->reading.size() > 100 || weighing->line.size() > 1000 ||
            (weighing->time && (weighing->time->size() > 40 || (*weighing->time)[10] != 'T'))) {
            std::abort();
        }
        if (weighing->place->Text() !=
                weighing->id.substr(weighing->id.size() - weighing->place->Text().size()) ||
            (weighing->after &&
             station::protocol::LinePlace::Read(weighing->after->Text()) != weighing->after)) {
            std::abort();
        }
    }
    const auto request = station::protocol::ReadReplayRequest(payload);
    if (const auto* read = std::get_if<station::protocol::ReplayRequest>(&request)) {
        const auto again =
            station::protocol::ReadReplayRequest(station::protocol::WriteReplayRequest(*read));
        const auto* same = std::get_if<station::protocol::ReplayRequest>(&again);
        if (same == nullptr || same->token != read->token || same->from != read->from ||
            same->at != read->at) {
            std::abort();
        }
    }
    if (!IsCleanText(station::protocol::ShownBytes(payload)) ||
        !IsCleanText(station::protocol::ShownBytes(topic))) {
        std::abort();
    }
    return 0;
}
