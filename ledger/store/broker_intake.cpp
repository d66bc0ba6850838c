#include "ledger/store/broker_intake.h"

#include <utility>

#include "ledger/store/ledger_message.h"
#include "protocol/topics.h"

namespace station::ledger {
namespace {

net::BrokerOptions Options(const PublishSettings& settings, bool lasting) {
    net::BrokerOptions options = BrokerOptionsOf(settings);
    if (lasting) {
        options.keep_session = true;  // the broker keeps the weighings while the ledger is away
    } else {
        options.client_id += "-live";
    }
    options.longest_payload = kLargestMessage;
    options.largest_packet = kLargestPacket;
    return options;
}

}  // namespace

BrokerIntake::BrokerIntake(EventLoop& loop, PublishSettings settings, std::string share,
                           Handlers handlers, LogSink log, HealthBoard* health, Clock* halls_clock)
    : loop_(loop),
      settings_(std::move(settings)),
      share_(std::move(share)),
      handlers_(std::move(handlers)),
      log_(std::move(log)),
      health_(health) {
    if (halls_clock != nullptr) {
        halls_ = std::make_unique<HallLinks>(loop_, *halls_clock, log_, health_, [this] {
            handlers_.session_doubted();
            handlers_.subscribed();
        });
    }
}

void BrokerIntake::Start() {
    live_.reset();
    paused_ = false;
    if (session_) {
        session_->Resume();
        return;
    }
    session_ = std::make_unique<BrokerSupervisor>(
        loop_, Options(settings_, true),
        BrokerSupervisor::Handlers{
            [this] { HandleConnected(); },
            [this](const std::string& reason) { HandleLost(reason); }, [](int) {},
            [](const std::string&) {},  // said by HandleLost, with how long it lasts
            [this](const std::string& topic, const std::string& payload, bool retained) {
                if (!HallHeard(topic, payload, retained)) {
                    handlers_.heard(topic, payload, retained);
                }
            }},
        true);
}

void BrokerIntake::Pause() {
    if (!session_ || paused_) {
        return;
    }
    paused_ = true;
    session_->Pause();
    StartLive();
}

bool BrokerIntake::PublishRetained(const std::string& topic, const std::string& payload) {
    return session_ && session_->Publish(topic, payload, 1, true).has_value();
}

void BrokerIntake::HandleConnected() {
    const bool kept = session_->SessionPresent();
    // What the broker held for the ledger is gone, or may be: a client that took the session
    // meanwhile (another's login with the ledger's client id) had it delivered and dropped.
    const bool doubted = std::exchange(session_lost_, false);
    if (!kept || doubted) {
        handlers_.session_doubted();
    }
    was_connected_ = true;
    if (health_) {
        health_->Update([](LedgerHealth& board) {
            board.broker_connected = true;
            board.broker_taken_over = false;
        });
    }
    if (taken_over_) {
        // Said once it has lasted: while two ledgers take turns, once a minute is enough.
        steady_timer_ = loop_.StartTimer(kLogInterval, [this] {
            taken_over_ = false;
            log_("broker " + BrokerName() + ": the client id " + settings_.client_id +
                 " is the ledger's again");
        });
    } else {
        // A short loss is said with the connection that ends it, in one line.
        const std::string away =
            problem_.empty() ? ""
                             : " after " + SecondsSaid(loop_.Now() - away_since_) + " away" +
                                   (lost_timer_ ? " (lost: " + problem_ + ")" : "");
        log_("broker " + BrokerName() + ": connected" + away +
             (!kept     ? "; a new session: the stations are asked to send again"
              : doubted ? "; it kept the ledger's session, which may have lost messages "
                          "meanwhile: the stations are asked to send again"
                        : "; it kept the ledger's session"));
    }
    lost_timer_.reset();
    problem_.clear();
    if (SubscribeAll()) {
        handlers_.subscribed();
    }
}

bool BrokerIntake::SubscribeAll() {
    const std::string& prefix = settings_.topic;
    const std::string weighings =
        protocol::EveryStationsTopic(prefix, protocol::TopicKind::kWeighing);
    // Retained messages never go to a shared subscription: statuses and states come to each. A
    // station whose topic is deeper than one level under the prefix is heard too, to be rejected
    // with the reason, so that its settings are seen to be wrong.
    return session_->Subscribe(protocol::EveryStationsTopic(prefix, protocol::TopicKind::kStatus),
                               1) &&
           session_->Subscribe(protocol::EveryStationsTopic(prefix, protocol::TopicKind::kState),
                               0) &&
           session_->Subscribe(protocol::EveryStationsTopic(prefix, protocol::TopicKind::kReplay),
                               1) &&
           session_->Subscribe(prefix + "/+/+/status", 1) &&
           session_->Subscribe(prefix + "/+/+/+/+/#", 1) &&
           session_->Subscribe(share_.empty() ? weighings : "$share/" + share_ + "/" + weighings,
                               1) &&
           (!halls_ || session_->Subscribe(HallLinks::kTopic, 1));
}

// A session lost, or an attempt that failed: said when it changes and once a minute while the
// broker stays away. A pause for the database is no news of the broker's.
void BrokerIntake::HandleLost(const std::string& reason) {
    if (paused_) {
        return;  // the live session says what the broker does meanwhile
    }
    if (session_->LoginRefused() && handlers_.login_refused) {
        handlers_.login_refused(reason);
        return;
    }
    session_lost_ = true;
    const bool taken_over = reason == kSessionTakenOver;
    if (health_) {
        health_->Update([taken_over](LedgerHealth& board) {
            board.broker_connected = false;
            board.broker_taken_over = taken_over;
        });
    }
    steady_timer_.reset();
    if (taken_over) {
        lost_timer_.reset();
        was_connected_ = false;
        if (!taken_over_) {
            taken_over_said_.Reset();
        }
        if (taken_over_said_.Due(loop_.Now())) {
            log_("broker " + BrokerName() + ": " + reason + " " + settings_.client_id +
                 "; the ledger steps back and tries again in a minute");
        }
        taken_over_ = true;
        return;
    }
    if (was_connected_) {
        was_connected_ = false;
        away_since_ = loop_.Now();
        said_.Reset();
        said_.Due(loop_.Now(), reason);  // said once the loss lasts
        problem_ = reason;
        lost_timer_ = loop_.StartTimer(kBrokerBlip, [this] {
            lost_timer_.reset();
            log_("broker " + BrokerName() + ": lost: " + problem_);
        });
        return;
    }
    if (lost_timer_) {
        return;  // still within the loss, said when it ends or lasts
    }
    const bool first = problem_.empty();
    if (first) {
        away_since_ = loop_.Now();
        said_.Reset();
    }
    if (said_.Due(loop_.Now(), reason)) {
        log_("broker " + BrokerName() + ": " +
             (first
                  ? reason
                  : "still away after " + SecondsSaid(loop_.Now() - away_since_) + ": " + reason));
    }
    problem_ = reason;
}

void BrokerIntake::StartLive() {
    const auto reached = [this](bool connected) {
        if (health_) {
            health_->Update(
                [connected](LedgerHealth& board) { board.broker_connected = connected; });
        }
    };
    live_ = std::make_unique<BrokerSupervisor>(
        loop_, Options(settings_, false),
        BrokerSupervisor::Handlers{
            [this, reached] {
                reached(true);
                for (const auto kind :
                     {protocol::TopicKind::kStatus, protocol::TopicKind::kState}) {
                    if (!live_->Subscribe(protocol::EveryStationsTopic(settings_.topic, kind), 0)) {
                        return;
                    }
                }
                if (halls_) {
                    live_->Subscribe(HallLinks::kTopic, 0);
                }
            },
            [reached](const std::string&) { reached(false); }, [](int) {},
            [](const std::string&) {},
            [this](const std::string& topic, const std::string& payload, bool retained) {
                if (!HallHeard(topic, payload, retained)) {
                    handlers_.heard_live(topic, payload, retained);
                }
            }});
}

bool BrokerIntake::HallHeard(const std::string& topic, const std::string& payload, bool retained) {
    return halls_ && halls_->Heard(topic, payload, retained);
}

std::string BrokerIntake::BrokerName() const {
    return settings_.broker + ":" + std::to_string(settings_.port);
}

}  // namespace station::ledger
