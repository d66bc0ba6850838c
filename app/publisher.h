#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/event_loop.h"
#include "core/reading/reading_displays.h"
#include "core/reading/transmission_log.h"
#include "core/register/weighing_journal.h"
#include "core/scales.h"
#include "core/settings/publish_settings.h"
#include "net/broker_client.h"

namespace station {

// Publishes every saved weighing and each scale's live state to an MQTT broker.
//
// The register is the queue: weighings are read back from the month files after the place the
// broker last acknowledged, which a small file beside them records, so nothing saved is lost to
// a broker that is down, a killed station or a power cut; delivery is at least once, in register
// order. Live states are retained and thinned to kStateInterval per scale, the latest winning.
// Problems go to the transmission log and standard error once per change; reconnection backs
// off from 1 s to 60 s. Nothing here ever asks the operator anything.
class Publisher {
public:
    struct Status {
        bool connected = false;
        std::size_t waiting = 0;  // weighings saved and not yet acknowledged
        std::string broker;       // host:port
        std::string last_problem;
    };
    using StatusSink = std::function<void(const Status&)>;

    static constexpr auto kStateInterval = std::chrono::milliseconds(200);

    // `directory` holds the register files and the delivery state.
    Publisher(EventLoop& loop, TransmissionLog& log, PublishSettings settings,
              std::string directory, StatusSink on_status);
    ~Publisher();
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    // A register line was written.
    void WeighingSaved();
    // What scale `scale` shows now, and whether it is connected.
    void ScaleShown(int scale, const std::string& reading);
    void ScaleConnected(int scale, bool connected);

private:
    struct ScaleState {
        bool connected = false;
        std::string reading = "- - - - -";
        std::chrono::steady_clock::time_point last_sent{};
        std::unique_ptr<Timer> send_timer;
    };
    struct InFlight {
        int message_id;
        RegisterPosition end;
        bool acknowledged = false;
    };

    void Connect();
    void HandleConnected();
    void HandleLost(const std::string& reason);
    void HandleAcknowledged(int message_id);
    void SendWaiting();
    void SendState(int scale);
    void StateChanged(int scale);
    void Report(int code, const std::string& text);
    std::string Topic(const std::string& leaf) const;

    EventLoop& loop_;
    TransmissionLog& log_;
    PublishSettings settings_;
    std::string directory_;
    std::string state_path_;
    StatusSink on_status_;
    net::BrokerClient client_;
    std::unique_ptr<Timer> reconnect_timer_;
    std::chrono::seconds backoff_;
    std::string logged_problem_;  // since the last connection
    RegisterPosition delivered_;  // acknowledged up to here
    RegisterPosition next_;       // sent up to here
    std::deque<InFlight> in_flight_;
    std::array<ScaleState, kScaleCount> scales_;
    Status status_;
};

// The reading displays as the decoder sees them: each text goes to the screen and, while
// publishing is on, to the publisher.
class PublishedDisplays final : public ReadingDisplays {
public:
    explicit PublishedDisplays(ReadingDisplays& shown) : shown_(shown) {}

    void SetPublisher(Publisher* publisher) { publisher_ = publisher; }
    void SetReadingText(int scale, const std::string& text) override;

private:
    ReadingDisplays& shown_;
    Publisher* publisher_ = nullptr;
};

// A problem of publishing, in the transmission log (" !! ") and on standard error.
void ReportPublishingProblem(TransmissionLog& log, const std::string& text);

// The station's host name, for the default topic and client id.
std::string HostName();

}  // namespace station
