#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "base/event_loop.h"
#include "base/off_loop.h"

struct mosquitto;
struct mosquitto_message;

namespace station::net {

// Where and how to reach an MQTT broker. Empty strings mean "not used".
struct BrokerOptions {
    std::string host;
    int port = 1883;
    std::string client_id;
    std::string username;
    std::string password;
    std::string ca_file;  // turns TLS on; the broker's certificate and name are checked
    std::string cert_file;
    std::string key_file;
    std::string will_topic;  // published by the broker, retained, when the client vanishes
    std::string will_payload;
    // A lasting session: the broker keeps the subscriptions and queues QoS 1 messages for this
    // client id while it is away, and says when it answers whether it still had them.
    bool keep_session = false;
    // A message's payload is handed over cut to this many bytes and one more, so that a caller
    // that refuses longer ones can tell, and a huge payload is never copied whole; 0: uncut.
    std::size_t longest_payload = 0;
    // The largest packet the broker may send this client, asked in MQTT 5's CONNECT: a broker
    // drops a larger message for it instead of making the library read it whole. Asking it
    // speaks MQTT 5; 0: MQTT 3.1.1, nothing asked.
    std::uint32_t largest_packet = 0;
    std::chrono::seconds keep_alive{30};
    std::chrono::milliseconds answer_timeout{10000};  // from the attempt to the CONNACK
};

// One MQTT 3.1.1 (or 5) session at a time over the client library, driven entirely by the given
// event loop: its socket is watched there, its housekeeping runs when the keep-alive falls due, and
// nothing else wakes the loop. The attempt itself (name lookup, connect, TLS start) runs off the
// loop (base/off_loop.h), because the library resolves the host name with a blocking call; a
// broker that never answers is given up after `answer_timeout`. Unless the options keep the
// session, every session starts clean: what was not acknowledged when a session ended is the
// caller's to send again. Messages received are acknowledged by the library as they arrive,
// before the caller has them, as the MQTT client libraries do.
//
// Every end of an attempt or a session, whatever its cause, reaches the caller one way: on_lost
// with the reason, on the loop and never from inside Connect. Nothing here throws.
class BrokerClient {
public:
    explicit BrokerClient(EventLoop& loop);
    ~BrokerClient();
    BrokerClient(const BrokerClient&) = delete;
    BrokerClient& operator=(const BrokerClient&) = delete;

    // The broker accepted the session.
    std::function<void()> on_connected;
    // An attempt or a session ended; `reason` says why, in English. Not called by Disconnect.
    std::function<void(const std::string& reason)> on_lost;
    // The broker acknowledged the QoS 1 message of that id.
    std::function<void(int message_id)> on_acknowledged;
    // A message arrived on a subscription; `retained` when the broker kept it from before.
    std::function<void(const std::string& topic, const std::string& payload, bool retained)>
        on_message;

    // Ends any session or attempt, then starts a new attempt.
    void Connect(const BrokerOptions& options);
    // Ends any session or attempt without a notice; the broker publishes the will.
    void Disconnect();
    bool Connected() const { return connected_; }
    // Whether the broker answered the current session with the one it kept from before.
    bool SessionPresent() const { return session_present_; }
    // Whether the last attempt ended with the broker refusing the login (a wrong user name or
    // password, or a login not allowed in): waiting does not mend it.
    bool LoginRefused() const { return login_refused_; }

    // Queues a message on the current session and returns its id; nothing without a session,
    // and nothing when the library refuses the message, which ends the session (on_lost).
    std::optional<int> Publish(const std::string& topic, const std::string& payload, int qos,
                               bool retain);
    // Before an end: reads what the broker sent, then writes out what the library still holds,
    // as far as the socket goes without waiting, so that the last messages reach the broker.
    void FlushOutgoing();
    // Subscribes on the current session; false without one or when the library refuses, which
    // ends the session.
    bool Subscribe(const std::string& topic, int qos);

private:
    struct AttemptResult;
    struct Session;

    // Throws when the library cannot be set up for the attempt.
    void StartAttempt();
    void AttemptFinished(std::uint64_t serial, AttemptResult attempt);
    void ArmHousekeeping();
    void HandleSocket(bool readable, bool writable);
    void Housekeeping();
    void UpdateInterest();
    void Lose(const std::string& reason);

    static void OnConnect(mosquitto* mosq, void* self, int code, int flags);
    static void OnDisconnect(mosquitto* mosq, void* self, int code);
    static void OnPublish(mosquitto* mosq, void* self, int message_id);
    static void OnMessage(mosquitto* mosq, void* self, const mosquitto_message* message);

    EventLoop& loop_;
    BrokerOptions options_;
    std::unique_ptr<OffLoopWork> attempt_;
    std::unique_ptr<Session> session_;
    std::unique_ptr<Timer> answer_timer_;
    std::unique_ptr<Timer> housekeeping_timer_;
    std::uint64_t serial_ = 0;
    bool connected_ = false;
    bool session_present_ = false;
    bool login_refused_ = false;
};

}  // namespace station::net
