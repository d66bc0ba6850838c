#include "service/state_thinning.h"

namespace station {

void StateThinning::ReadingShown(int scale, const Reading& reading) {
    ScaleState& state = Of(scale).state;
    if (state.reading != reading) {
        state.reading = reading;
        Changed(scale);
    }
}

void StateThinning::ConnectionShown(int scale, bool connected) {
    if (Of(scale).state.connected != connected) {
        Of(scale).state.connected = connected;
        Changed(scale);
    }
}

void StateThinning::Resend() {
    for (int scale = 1; IsScaleNumber(scale); ++scale) {
        Changed(scale);
    }
}

void StateThinning::SendEnded() {
    for (int scale = 1; IsScaleNumber(scale); ++scale) {
        Scale& entry = Of(scale);
        entry.timer.reset();
        entry.state.connected = false;
        send_(scale, entry.state);
    }
}

void StateThinning::Changed(int scale) {
    Scale& entry = Of(scale);
    if (entry.timer) {
        return;  // the latest state goes when the timer runs
    }
    const auto since = loop_.Now() - entry.last_sent;
    if (since >= kInterval) {
        SendNow(scale);
        return;
    }
    entry.timer = loop_.StartTimer(std::chrono::ceil<std::chrono::milliseconds>(kInterval - since),
                                   [this, scale] {
                                       Of(scale).timer.reset();
                                       SendNow(scale);
                                   });
}

void StateThinning::SendNow(int scale) {
    if (send_(scale, Of(scale).state)) {
        Of(scale).last_sent = loop_.Now();
    }
}

}  // namespace station
