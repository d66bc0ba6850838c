#include "service/weighing_message.h"

#include "common/code_page.h"
#include "protocol/iso_time.h"
#include "protocol/scale_state.h"
#include "protocol/weighing.h"

namespace station {

std::string WeighingMessage(const RegisterEntry& entry, const RegisterLineFields& fields,
                            const std::string& station, const std::string& unit,
                            const std::optional<RegisterPosition>& after,
                            const std::optional<LineEvidence>& evidence) {
    // The reader hands out only the lines of files named after a month.
    const Month first = *Month::Of(1000, 1);
    const std::optional<Month>& month = entry.start.month;
    protocol::Weighing weighing{.id = {station, month.value_or(first), entry.start.offset},
                                .scale = fields.scale,
                                .reading = Cp1250ToUtf8(fields.reading),
                                .unit = Cp1250ToUtf8(unit),
                                .time = std::nullopt,
                                .line = Cp1250ToUtf8(entry.line),
                                .after = std::nullopt,
                                .next = std::nullopt,
                                .seal = std::nullopt};
    if (after) {
        const std::optional<Month>& after_month = after->month;
        weighing.after = after_month ? protocol::LinePlace{*after_month, after->offset}
                                     : protocol::LinePlace{first, 0};
        weighing.next = entry.end.offset;
    }
    if (evidence) {
        weighing.seal = LineSeal{.previous = evidence->previous,
                                 .link = evidence->entry.link,
                                 .signature = evidence->entry.signature,
                                 .key = evidence->key,
                                 .key_word = evidence->key_word};
    }
    if (const auto time = StampTime(fields.stamp)) {
        weighing.time = protocol::IsoLocalTime(*time);
    }
    return protocol::WriteWeighing(weighing);
}

std::string ScaleStateMessage(bool connected, const Reading& reading, std::time_t time) {
    protocol::ScaleState state{
        .connected = connected,
        .reading = Cp1250ToUtf8(reading.Text()),
        .unit = Cp1250ToUtf8(reading.unit),
        .motion = reading.motion,
        .range = std::nullopt,
        .time = protocol::IsoLocalTime(time),
        .problem = std::string(reading.no_frame ? protocol::kNoFrameRead : "")};
    switch (reading.kind) {
        case Reading::Kind::kWeight:
            state.range = protocol::Range::kOk;
            break;
        case Reading::Kind::kOver:
            state.range = protocol::Range::kOver;
            break;
        case Reading::Kind::kUnder:
            state.range = protocol::Range::kUnder;
            break;
        case Reading::Kind::kNoWeight:
        case Reading::Kind::kNothingYet:
            break;
    }
    return protocol::WriteScaleState(state);
}

}  // namespace station
