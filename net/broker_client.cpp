#include "net/broker_client.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <mqtt_protocol.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace station::net {
namespace {

void InitialiseLibraryOnce() {
    static const int kInitialised = mosquitto_lib_init();
    static_cast<void>(kInitialised);
}

std::string ErrorText(int code, int saved_errno) {
    if (code == MOSQ_ERR_ERRNO) {
        return std::strerror(saved_errno);
    }
    return mosquitto_strerror(code);
}

void Check(int code, const char* what) {
    if (code != MOSQ_ERR_SUCCESS) {
        throw std::runtime_error(std::string(what) + ": " + ErrorText(code, errno));
    }
}

// Bytes waiting in the socket, read by no one yet.
int Unread(mosquitto* mosq) {
    int unread = 0;
    return ::ioctl(mosquitto_socket(mosq), FIONREAD, &unread) == 0 ? unread : 0;
}

// What was read is acknowledged at once rather than after the kernel's delayed-acknowledgement
// wait: a broker that holds small packets back until its last one is acknowledged (Nagle, the
// default of Debian's broker) otherwise sends a flow's next PUBACK or message only tens of
// milliseconds later, and a replay crawls. The kernel leaves this mode on its own, so it is asked
// again after every read.
void AcknowledgeAtOnce(mosquitto* mosq) {
    const int yes = 1;
    ::setsockopt(mosquitto_socket(mosq), IPPROTO_TCP, TCP_QUICKACK, &yes, sizeof yes);
}

// While held, what the library writes waits in the socket and goes out together once released:
// the PUBACKs of a turn's messages, and the messages its acknowledgements make room for, in a
// segment or a few rather than one each, which the network and the broker pay per segment.
void HoldOutput(mosquitto* mosq, bool hold) {
    const int value = hold ? 1 : 0;
    ::setsockopt(mosquitto_socket(mosq), IPPROTO_TCP, TCP_CORK, &value, sizeof value);
}

const char* OrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

// MQTT 5's CONNECT properties: the largest packet, and a lasting session that never expires
// (MQTT 3.1.1's lasting session; MQTT 5 ends a session at its connection's end unless told).
struct ConnectProperties {
    explicit ConnectProperties(const BrokerOptions& options) {
        const int largest = mosquitto_property_add_int32(&list, MQTT_PROP_MAXIMUM_PACKET_SIZE,
                                                         options.largest_packet);
        const int expiry =
            options.keep_session
                ? mosquitto_property_add_int32(&list, MQTT_PROP_SESSION_EXPIRY_INTERVAL, UINT32_MAX)
                : MOSQ_ERR_SUCCESS;
        if (largest != MOSQ_ERR_SUCCESS || expiry != MOSQ_ERR_SUCCESS) {
            mosquitto_property_free_all(&list);  // no destructor runs for a throwing constructor
            Check(largest != MOSQ_ERR_SUCCESS ? largest : expiry, "connect properties");
        }
    }
    ~ConnectProperties() { mosquitto_property_free_all(&list); }
    ConnectProperties(const ConnectProperties&) = delete;
    ConnectProperties& operator=(const ConnectProperties&) = delete;

    mosquitto_property* list = nullptr;
};

// Why a session ended: the library's code or an MQTT 5 broker's reason code, which starts at
// 0x80 where the library's codes end long before.
std::string EndText(int code, int saved_errno) {
    if (code >= 0x80) {
        return std::string("ended by the broker: ") + mosquitto_reason_string(code);
    }
    return ErrorText(code, saved_errno);
}

}  // namespace

// What an attempt hands back to the loop: the library's handle, whoever frees it last, and how
// the attempt went. The handle is used by one thread at a time: built on the loop's thread,
// used by the worker for the attempt, and back on the loop's thread only once the worker has let
// go of it (the work runner orders the two), so the library needs no locking of its own
// (mosquitto_threaded_set stays off).
struct BrokerClient::AttemptResult {
    std::shared_ptr<mosquitto> handle;
    int result = MOSQ_ERR_UNKNOWN;
    int saved_errno = 0;
};

// An established or establishing connection, owned by the loop's thread. What the library's
// callbacks report is collected here and acted on once the library has returned, so that a
// handler may end the session.
// Dropped without a DISCONNECT packet: the broker publishes the will.
struct BrokerClient::Session {
    Session(std::shared_ptr<mosquitto> owned, EventLoop::TimePoint now)
        : handle(std::move(owned)), mosq(handle.get()), last_in(now), last_out(now) {}

    std::shared_ptr<mosquitto> handle;
    mosquitto* mosq;
    std::unique_ptr<FdWatch> watch;  // goes before the handle
    // When the last packet came in and went out, as far as the loop can tell.
    EventLoop::TimePoint last_in;
    EventLoop::TimePoint last_out;
    struct Received {
        std::string topic;
        std::string payload;
        bool retained;
    };

    std::optional<int> connack;
    bool session_present = false;
    std::optional<int> disconnect;
    bool acknowledging = false;  // a message read asked for an acknowledgement, sent at once
    std::vector<int> acknowledged;
    std::vector<Received> received;
};

BrokerClient::BrokerClient(EventLoop& loop) : loop_(loop) {
    InitialiseLibraryOnce();
}

BrokerClient::~BrokerClient() {
    Disconnect();
}

void BrokerClient::Connect(const BrokerOptions& options) {
    Disconnect();
    options_ = options;
    try {
        StartAttempt();
    } catch (const std::exception& error) {
        // Said the way every other end is said, once this call has returned.
        answer_timer_ =
            loop_.StartTimer(std::chrono::milliseconds(0),
                             [this, reason = std::string(error.what())] { Lose(reason); });
    }
}

void BrokerClient::StartAttempt() {
    std::shared_ptr<mosquitto> handle(
        mosquitto_new(options_.client_id.c_str(), !options_.keep_session, this),
        [](mosquitto* mosq) {
            if (mosq != nullptr) {
                mosquitto_destroy(mosq);
            }
        });
    mosquitto* mosq = handle.get();
    if (mosq == nullptr) {
        throw std::runtime_error(std::string("mosquitto_new: ") + std::strerror(errno));
    }
    const bool mqtt5 = options_.largest_packet != 0;
    Check(mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION,
                               mqtt5 ? MQTT_PROTOCOL_V5 : MQTT_PROTOCOL_V311),
          "protocol");
    // Each packet goes out as it is made: held back for the acknowledgement of the one before
    // (Nagle), a small PUBACK meets the broker's delayed acknowledgement and the flow drops to a
    // few hundred messages a second.
    Check(mosquitto_int_option(mosq, MOSQ_OPT_TCP_NODELAY, 1), "no delay");
    if (!options_.username.empty()) {
        Check(mosquitto_username_pw_set(mosq, options_.username.c_str(), OrNull(options_.password)),
              "user name");
    }
    if (!options_.will_topic.empty()) {
        Check(mosquitto_will_set(mosq, options_.will_topic.c_str(),
                                 static_cast<int>(options_.will_payload.size()),
                                 options_.will_payload.data(), 1, true),
              "will");
    }
    if (!options_.ca_file.empty()) {
        Check(mosquitto_tls_set(mosq, options_.ca_file.c_str(), nullptr, OrNull(options_.cert_file),
                                OrNull(options_.key_file), nullptr),
              "TLS");
    }
    mosquitto_connect_with_flags_callback_set(mosq, &BrokerClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq, &BrokerClient::OnDisconnect);
    mosquitto_publish_callback_set(mosq, &BrokerClient::OnPublish);
    mosquitto_message_callback_set(mosq, &BrokerClient::OnMessage);

    // The library resolves the host name with a blocking call: the attempt runs off the loop.
    std::shared_ptr<const ConnectProperties> properties;
    if (mqtt5) {
        properties = std::make_shared<const ConnectProperties>(options_);
    }
    const std::uint64_t serial = ++serial_;
    attempt_ = RunOffLoop<AttemptResult>(
        loop_,
        [handle = std::move(handle), options = options_, properties = std::move(properties)] {
            AttemptResult attempt;
            const int keep_alive = static_cast<int>(options.keep_alive.count());
            if (!properties) {
                attempt.result = mosquitto_connect_async(handle.get(), options.host.c_str(),
                                                         options.port, keep_alive);
            } else {
                // CONNECT's properties go only with a connect that waits for the TCP handshake,
                // which this thread may do; the socket is left non-blocking for the loop.
                attempt.result =
                    mosquitto_connect_bind_v5(handle.get(), options.host.c_str(), options.port,
                                              keep_alive, nullptr, properties->list);
            }
            attempt.saved_errno = errno;
            attempt.handle = handle;
            return attempt;
        },
        [this, serial](AttemptResult attempt) { AttemptFinished(serial, std::move(attempt)); });
    answer_timer_ =
        loop_.StartTimer(options_.answer_timeout, [this] { Lose("no answer from the broker"); });
}

void BrokerClient::Disconnect() {
    ++serial_;
    connected_ = false;
    session_present_ = false;
    answer_timer_.reset();
    housekeeping_timer_.reset();
    attempt_.reset();
    session_.reset();
}

std::optional<int> BrokerClient::Publish(const std::string& topic, const std::string& payload,
                                         int qos, bool retain) {
    if (!connected_) {
        return std::nullopt;
    }
    int message_id = 0;
    const int result =
        mosquitto_publish(session_->mosq, &message_id, topic.c_str(),
                          static_cast<int>(payload.size()), payload.data(), qos, retain);
    if (result != MOSQ_ERR_SUCCESS) {
        // A session that cannot take a message is ended; the caller begins another.
        Lose("publish: " + ErrorText(result, errno));
        return std::nullopt;
    }
    session_->last_out = loop_.Now();
    UpdateInterest();
    return message_id;
}

// A socket closed with bytes unread goes with a reset, and a broker that meets the reset drops
// what it had not yet read of this client's: the last messages. What the broker sent is read
// first, then what the library holds is written, neither waiting.
void BrokerClient::FlushOutgoing() {
    constexpr int kMostTurns = 64;  // a socket that takes nothing more leaves the rest
    for (int i = 0; connected_ && i < kMostTurns; ++i) {
        const bool reading = Unread(session_->mosq) > 0;
        const bool writing = mosquitto_want_write(session_->mosq);
        if ((!reading && !writing) ||
            (reading && mosquitto_loop_read(session_->mosq, 1) != MOSQ_ERR_SUCCESS) ||
            (writing && mosquitto_loop_write(session_->mosq, 1) != MOSQ_ERR_SUCCESS)) {
            return;
        }
        if (writing) {
            session_->last_out = loop_.Now();
        }
    }
}

bool BrokerClient::Subscribe(const std::string& topic, int qos) {
    if (!connected_) {
        return false;
    }
    const int result = mosquitto_subscribe(session_->mosq, nullptr, topic.c_str(), qos);
    if (result != MOSQ_ERR_SUCCESS) {
        Lose("subscribe " + topic + ": " + ErrorText(result, errno));
        return false;
    }
    session_->last_out = loop_.Now();
    UpdateInterest();
    return true;
}

void BrokerClient::AttemptFinished(std::uint64_t serial, AttemptResult attempt) {
    if (serial != serial_) {
        return;
    }
    attempt_.reset();
    if (attempt.result != MOSQ_ERR_SUCCESS) {
        Lose(ErrorText(attempt.result, attempt.saved_errno));
        return;
    }
    session_ = std::make_unique<Session>(std::move(attempt.handle), loop_.Now());
    const int socket = mosquitto_socket(session_->mosq);
    // A program the station starts must not hold the connection open after the station ends.
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    session_->watch = loop_.Watch(
        socket, [this](bool readable, bool writable) { HandleSocket(readable, writable); });
    UpdateInterest();
}

void BrokerClient::HandleSocket(bool readable, bool writable) {
    mosquitto* mosq = session_->mosq;
    // Only a turn that reads has handlers that write: a turn that only writes sends what the
    // library holds as it always would, without the system calls of holding it.
    const bool holding = readable;
    if (holding) {
        HoldOutput(mosq, true);  // released at the end of the turn, or closed with the session
    }
    int result = MOSQ_ERR_SUCCESS;
    if (readable) {
        // The library reads one packet per call: a flow of messages is read in runs, not one
        // packet per turn of the loop, for as long as each call brings a message or an
        // acknowledgement (a call that brings neither found no whole packet, or one the loop
        // wakes for again).
        constexpr std::size_t kPacketsPerTurn = 64;
        const auto brought = [this] {
            return session_->received.size() + session_->acknowledged.size();
        };
        for (std::size_t before = 0; result == MOSQ_ERR_SUCCESS && brought() < kPacketsPerTurn;) {
            before = brought();
            result = mosquitto_loop_read(mosq, 1);
            if (brought() == before) {
                break;
            }
        }
        AcknowledgeAtOnce(mosq);
        session_->last_in = loop_.Now();
        // The library writes a PUBACK while it reads the message: output the broker counts.
        if (std::exchange(session_->acknowledging, false)) {
            session_->last_out = session_->last_in;
        }
    }
    if (result == MOSQ_ERR_SUCCESS && writable) {
        result = mosquitto_loop_write(mosq, 1);
        session_->last_out = loop_.Now();
    }
    const int saved_errno = errno;
    // The PUBACKs go before the messages are handled, so that the broker sends on meanwhile.
    if (holding) {
        HoldOutput(mosq, false);
        HoldOutput(mosq, true);
    }
    // Acted on in the order they happened; any handler may end this session.
    const std::uint64_t serial = serial_;
    const std::vector<int> acknowledged = std::exchange(session_->acknowledged, {});
    const std::vector<Session::Received> received = std::exchange(session_->received, {});
    const std::optional<int> connack = std::exchange(session_->connack, std::nullopt);
    const std::optional<int> disconnect = session_->disconnect;
    if (connack) {
        // MQTT 3.1.1's codes and MQTT 5's reason codes alike.
        login_refused_ = *connack == CONNACK_REFUSED_BAD_USERNAME_PASSWORD ||
                         *connack == CONNACK_REFUSED_NOT_AUTHORIZED ||
                         *connack == MQTT_RC_BAD_USERNAME_OR_PASSWORD ||
                         *connack == MQTT_RC_NOT_AUTHORIZED;
        if (*connack != 0) {
            Lose(std::string("refused: ") + mosquitto_connack_string(*connack));
            return;
        }
        connected_ = true;
        session_present_ = session_->session_present;
        answer_timer_.reset();
        ArmHousekeeping();
        if (on_connected) {
            on_connected();
        }
    }
    for (const int message_id : acknowledged) {
        if (serial != serial_) {
            return;
        }
        if (on_acknowledged) {
            on_acknowledged(message_id);
        }
    }
    for (const Session::Received& message : received) {
        if (serial != serial_) {
            return;
        }
        if (on_message) {
            on_message(message.topic, message.payload, message.retained);
        }
    }
    if (serial != serial_) {
        return;
    }
    if (result != MOSQ_ERR_SUCCESS || disconnect) {
        Lose(result != MOSQ_ERR_SUCCESS ? ErrorText(result, saved_errno)
                                        : EndText(*disconnect, saved_errno));
        return;
    }
    if (holding) {
        HoldOutput(mosq, false);
    }
    UpdateInterest();
}

// The library's housekeeping (mosquitto_loop_misc) is keep-alive work only: a PINGREQ once a
// keep-alive has passed since the last packet out or in, and the end of a session whose PINGREQ
// went unanswered for a keep-alive; a clean MQTT 3.1.1 session resends nothing while it lives.
// Its documentation asks for a call about once a second only so that this deadline is not
// missed; calling it when the deadline falls meets that with one wake-up per keep-alive at most.
void BrokerClient::ArmHousekeeping() {
    const EventLoop::TimePoint due =
        std::min(session_->last_in, session_->last_out) + options_.keep_alive;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(due - loop_.Now());
    housekeeping_timer_ =
        loop_.StartTimer(std::max(wait, std::chrono::milliseconds(0)), [this] { Housekeeping(); });
}

void BrokerClient::Housekeeping() {
    const EventLoop::TimePoint due =
        std::min(session_->last_in, session_->last_out) + options_.keep_alive;
    if (loop_.Now() >= due) {
        const int result = mosquitto_loop_misc(session_->mosq);
        if (result != MOSQ_ERR_SUCCESS || session_->disconnect) {
            Lose(result != MOSQ_ERR_SUCCESS ? ErrorText(result, errno)
                                            : EndText(*session_->disconnect, errno));
            return;
        }
        // A PINGREQ went out, or is owed an answer: the next look is a keep-alive away.
        session_->last_in = session_->last_out = loop_.Now();
    }
    ArmHousekeeping();
    UpdateInterest();
}

void BrokerClient::UpdateInterest() {
    if (session_ && session_->watch) {
        session_->watch->SetInterest(true, mosquitto_want_write(session_->mosq));
    }
}

void BrokerClient::Lose(const std::string& reason) {
    Disconnect();
    if (on_lost) {
        on_lost(reason);
    }
}

void BrokerClient::OnConnect(mosquitto*, void* self, int code, int flags) {
    Session& session = *static_cast<BrokerClient*>(self)->session_;
    session.connack = code;
    session.session_present = (flags & 1) != 0;  // the CONNACK's session-present bit
}

void BrokerClient::OnDisconnect(mosquitto*, void* self, int code) {
    static_cast<BrokerClient*>(self)->session_->disconnect = code;
}

void BrokerClient::OnPublish(mosquitto*, void* self, int message_id) {
    static_cast<BrokerClient*>(self)->session_->acknowledged.push_back(message_id);
}

void BrokerClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
    auto& client = *static_cast<BrokerClient*>(self);
    std::string payload;
    if (message->payload != nullptr && message->payloadlen > 0) {
        std::size_t length = static_cast<std::size_t>(message->payloadlen);
        if (client.options_.longest_payload != 0) {
            length = std::min(length, client.options_.longest_payload + 1);
        }
        payload.assign(static_cast<const char*>(message->payload), length);
    }
    client.session_->acknowledging |= message->qos > 0;
    client.session_->received.push_back({message->topic, std::move(payload), message->retain});
}

}  // namespace station::net
