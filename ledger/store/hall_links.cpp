#include "ledger/store/hall_links.h"

#include <string_view>
#include <utility>

#include "base/log_throttle.h"
#include "protocol/iso_time.h"
#include "protocol/topics.h"
#include "protocol/utf8_text.h"

namespace station::ledger {
namespace {

constexpr std::string_view kHead = "$SYS/broker/connection/";
constexpr std::string_view kTail = "/state";

}  // namespace

HallLinks::HallLinks(EventLoop& loop, Clock& wall_clock, LogSink log, HealthBoard* health,
                     std::function<void()> relinked)
    : loop_(loop),
      wall_clock_(wall_clock),
      log_(std::move(log)),
      health_(health),
      relinked_(std::move(relinked)) {}

bool HallLinks::Heard(const std::string& topic, const std::string& payload, bool retained) {
    const std::string_view text = topic;
    if (!text.starts_with(kHead) || !text.ends_with(kTail) ||
        text.size() <= kHead.size() + kTail.size()) {
        return false;
    }
    const std::string hall(text.substr(kHead.size(), text.size() - kHead.size() - kTail.size()));
    if (hall.size() > protocol::kLongestRoom || protocol::ShownBytes(hall) != hall ||
        (payload != "0" && payload != "1")) {
        return true;  // no bridge's: nothing of it is kept or shown
    }
    const bool connected = payload == "1";
    bool kept = true;
    bool changed = false;
    health_->Update([&](LedgerHealth& board) {
        const auto known = board.halls.find(hall);
        if (known == board.halls.end() && board.halls.size() >= kMostHalls) {
            kept = false;
            return;
        }
        LedgerHealth::Hall& link = board.halls[hall];
        changed = known == board.halls.end() || link.connected != connected;
        if (changed) {
            link.connected = connected;
            link.since = retained ? "" : protocol::IsoLocalTime(wall_clock_.Seconds());
        }
    });
    if (!kept || !changed) {
        return true;
    }
    if (!connected) {
        cut_since_.insert_or_assign(hall, loop_.Now());
        log_("hall " + hall + ": its broker's bridge is cut off; its rooms' weighings wait there");
    } else if (const auto cut = cut_since_.find(hall); cut != cut_since_.end()) {
        log_("hall " + hall + ": its broker's bridge is back after " +
             SecondsSaid(loop_.Now() - cut->second));
        cut_since_.erase(cut);
        relinked_();
    }
    return true;
}

}  // namespace station::ledger
