#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "broker/backoff.h"
#include "broker/broker_supervisor.h"
#include "broker/publish_settings.h"
#include "common/clock.h"
#include "common/month.h"
#include "core/reading/transmission_log.h"
#include "core/register/evidence_lookup.h"
#include "core/register/register_reader.h"
#include "core/register/register_units.h"
#include "protocol/topics.h"
#include "service/delivery_cursor.h"
#include "service/delivery_state_store.h"
#include "service/honoured_replays.h"
#include "service/state_thinning.h"
#include "service/station_observer.h"

namespace station {

// Publishes every saved weighing and each scale's live state to an MQTT broker.
//
// The register is the queue: weighings are read back from the month files after the place the
// broker last acknowledged, which the delivery state file beside them records, so nothing saved
// is lost to a broker that is down, a killed station or a power cut; delivery is at least once,
// in register order but for replays. A damaged state file is kept aside and delivery starts
// again from a place it can trust, repeating rather than skipping; a month file that cannot be
// read halts delivery there until it can. A register line that is no weighing is logged and
// passed over. Live states are retained and thinned per scale.
//
// A collector's replay request (replay_request.h) on the station's own topic sends again
// everything from the place it names (a month's start, or a line's start in it: a place that is
// none goes back to one) up to what had been sent when it came, with a
// window of its own behind new saves, which never wait for it; a request while one runs extends
// it to what has been sent since. The place stored is the replay's until it ends, so a station
// stopped meanwhile sends again rather than skips. A token is honoured once ever, and at most one
// replay starts per kReplayInterval (replay_request.h): a request within it waits for its end,
// merged with any others (the earliest place wins), so that nobody on the broker can keep the
// station replaying, and no request is lost. Problems go to the transmission log and standard
// error once per change. Nothing here ever asks the operator anything.
class Publisher final : public StationObserver {
public:
    struct Status {
        bool connected = false;
        bool register_readable = true;
        std::size_t waiting = 0;  // weighings saved and not yet acknowledged
        std::string broker;       // host:port
        std::string topic;        // the station's, <prefix>/<room>
        std::string last_problem;
        std::string damaged_state_kept_as;  // empty unless a damaged state was put aside
    };
    using StatusSink = std::function<void(const Status&)>;

    // `directory` holds the register files and the delivery state; `now` says which months a
    // damaged state sends again.
    Publisher(EventLoop& loop, TransmissionLog& log, PublishSettings settings,
              std::string directory, const LocalTime& now, StatusSink on_status);
    ~Publisher() override;
    Publisher(const Publisher&) = delete;
    Publisher& operator=(const Publisher&) = delete;

    void ReadingShown(int scale, const Reading& reading) override;
    void LampShown(int scale, Lamp lamp) override;
    void WeighingSaved() override;

private:
    RegisterPosition StartingPlace(const LocalTime& now);
    net::BrokerOptions Options() const;
    void HandleConnected();
    void HandleLost(const std::string& reason);
    void HandleAcknowledged(int message_id);
    void HandleMessage(const std::string& topic, const std::string& payload);
    RegisterPosition LineStartOf(const RegisterPosition& asked);
    void Replay(RegisterPosition from, const std::vector<std::string>& tokens);
    void ReplayDeferred();
    void SendWaiting();
    bool SendFrom(DeliveryCursor& cursor, const RegisterPosition* end);
    RegisterPosition DeliveredPlace() const;
    void KeepDelivered();
    bool SendState(int scale, const StateThinning::ScaleState& state);
    void RegisterUnreadable(const std::string& problem);
    void ReportStatus();
    void Report(int code, const std::string& text);
    std::string Topic(protocol::TopicKind kind, int scale = 0) const;

    EventLoop& loop_;
    TransmissionLog& log_;
    PublishSettings settings_;
    std::string directory_;
    std::string state_path_;
    HonouredReplays honoured_replays_;
    std::optional<EventLoop::TimePoint> last_replay_;
    std::optional<RegisterPosition> deferred_from_;  // the earliest place asked meanwhile
    std::vector<std::string> deferred_tokens_;       // honoured once the replay runs
    std::unique_ptr<Timer> replay_timer_;            // set while a replay waits
    StatusSink on_status_;
    Status status_;
    DeliveryStateStore store_;
    DeliveryCursor cursor_;
    // While a replay runs: its own delivery, and where it ends.
    struct ReplayRun {
        DeliveryCursor cursor;
        RegisterPosition end;
    };
    std::optional<ReplayRun> replay_;
    // Where the new saves' cursor last read the register to its end: nothing follows it until a
    // save, so acknowledgements do not read the register again for nothing.
    std::optional<RegisterPosition> read_to_end_;
    RegisterLineCount waiting_;
    RegisterUnits units_;
    EvidenceLookup evidence_;
    StateThinning states_;
    Backoff reread_backoff_;
    std::unique_ptr<Timer> reread_timer_;  // set while the register waits to be read again
    BrokerSupervisor supervisor_;          // last: its handlers use all of the above
};

// A problem of publishing, in the transmission log (" !! ") and on standard error.
void ReportPublishingProblem(TransmissionLog& log, const std::string& text);

}  // namespace station
