#include "ledger/page/live_stream.h"

#include <string>
#include <utility>

#include "ledger/page/page_shapes.h"

namespace station::ledger {

LiveStream::LiveStream(LiveFeed& feed, std::atomic<std::size_t>& open, const HealthBoard* health,
                       const TimeSource& time)
    : feed_(feed), open_(open), health_(health), time_(time), seen_(feed.Latest()) {
    ++open_;
}

BodySource::Piece LiveStream::Next() {
    const LiveFeed::Read read = feed_.After(seen_, std::chrono::milliseconds(0));
    if (read.closed) {
        return {Piece::Kind::kEnd, {}};
    }
    std::string out = read.lost ? "event: lost\ndata: {}\n\n" : "";
    if (health_ != nullptr) {
        const HealthBoard::Reach reach = health_->Reachable();
        if (reach != told_) {
            told_ = reach;
            out.append("data: ").append(LedgerEventJson(reach)).append("\n\n");
        }
    }
    for (const std::string& event : read.events) {
        out.append("data: ").append(event).append("\n\n");
    }
    const auto now = time_.Now();
    if (out.empty() && now - last_sent_ >= kKeepAlive) {
        out = ": keep-alive\n\n";
    }
    if (out.empty()) {
        return {Piece::Kind::kLater, {}};
    }
    last_sent_ = now;
    return {Piece::Kind::kBytes, std::move(out)};
}

}  // namespace station::ledger
