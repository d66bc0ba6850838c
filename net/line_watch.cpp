#include "net/line_watch.h"

#include <algorithm>

namespace station::net {

void LineWatch::Connected() {
    retry_timer_.reset();
    outage_reported_ = false;
    watching_ = settings_.silence.count() > 0;
    if (watching_) {
        last_byte_ = loop_.Now();
        ArmSilence();
    }
}

void LineWatch::Ended() {
    watching_ = false;
    silence_timer_.reset();
    if (settings_.reconnect.count() > 0) {
        retry_timer_ = loop_.StartTimer(settings_.reconnect, [this] { Retry(); });
    }
}

void LineWatch::ArmSilence() {
    deadline_ = last_byte_ + settings_.silence;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - loop_.Now());
    silence_timer_ =
        loop_.StartTimer(std::max(left, std::chrono::milliseconds(0)), [this] { CheckSilence(); });
}

void LineWatch::CheckSilence() {
    const auto silent = std::chrono::floor<std::chrono::milliseconds>(loop_.Now() - last_byte_);
    if (silent < settings_.silence) {
        ArmSilence();  // bytes came since the timer was set
        return;
    }
    watching_ = false;
    silence_timer_.reset();
    handlers_.on_silent(silent);
}

void LineWatch::Retry() {
    retry_timer_.reset();
    const bool first = !outage_reported_;
    outage_reported_ = true;
    handlers_.on_reconnect(first);
}

}  // namespace station::net
