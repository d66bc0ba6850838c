#include "net/broker_client.h"

#include <fcntl.h>
#include <mosquitto.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <thread>
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

const char* OrNull(const std::string& text) {
    return text.empty() ? nullptr : text.c_str();
}

}  // namespace

// The attempt's half that the helper thread shares: the library's handle until the loop takes
// it over, the result, and a pipe that tells the loop the attempt is over. Whoever lets go last
// frees it, so an abandoned attempt cleans up after itself.
class BrokerClient::Attempt {
public:
    explicit Attempt(mosquitto* mosq) : mosq_(mosq) {
        if (pipe2(pipe_.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
            mosquitto_destroy(mosq_);
            throw std::runtime_error(std::string("pipe: ") + std::strerror(errno));
        }
    }
    ~Attempt() {
        if (mosq_ != nullptr) {
            mosquitto_destroy(mosq_);
        }
        close(pipe_[0]);
        close(pipe_[1]);
    }
    Attempt(const Attempt&) = delete;
    Attempt& operator=(const Attempt&) = delete;

    int DoneFd() const { return pipe_[0]; }

    static void Run(const std::shared_ptr<Attempt>& self, const BrokerOptions& options) {
        const int result = mosquitto_connect_async(self->mosq_, options.host.c_str(), options.port,
                                                   static_cast<int>(options.keep_alive.count()));
        self->errno_ = errno;
        self->result_.store(result, std::memory_order_release);
        const char done = 1;
        static_cast<void>(write(self->pipe_[1], &done, 1));
    }

    int Result() const { return result_.load(std::memory_order_acquire); }
    int Errno() const { return errno_; }
    mosquitto* Release() { return std::exchange(mosq_, nullptr); }

private:
    mosquitto* mosq_;
    std::array<int, 2> pipe_{-1, -1};
    int errno_ = 0;
    std::atomic<int> result_{MOSQ_ERR_UNKNOWN};
};

// An established or establishing connection, owned by the loop's thread. What the library's
// callbacks report is collected here and acted on once the library has returned, so that a
// handler may end the session.
struct BrokerClient::Session {
    explicit Session(mosquitto* handle) : mosq(handle) {}
    ~Session() {
        watch.reset();
        // Dropped without a DISCONNECT packet: the broker publishes the will.
        mosquitto_destroy(mosq);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    mosquitto* mosq;
    std::unique_ptr<FdWatch> watch;
    std::optional<int> connack;
    std::optional<int> disconnect;
    std::vector<int> acknowledged;
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
    mosquitto* mosq = mosquitto_new(options.client_id.c_str(), true, this);
    if (mosq == nullptr) {
        throw std::runtime_error(std::string("mosquitto_new: ") + std::strerror(errno));
    }
    auto attempt = std::make_shared<Attempt>(mosq);
    Check(mosquitto_int_option(mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311), "protocol");
    if (!options.username.empty()) {
        Check(mosquitto_username_pw_set(mosq, options.username.c_str(), OrNull(options.password)),
              "user name");
    }
    if (!options.will_topic.empty()) {
        Check(mosquitto_will_set(mosq, options.will_topic.c_str(),
                                 static_cast<int>(options.will_payload.size()),
                                 options.will_payload.data(), 1, true),
              "will");
    }
    if (!options.ca_file.empty()) {
        Check(mosquitto_tls_set(mosq, options.ca_file.c_str(), nullptr, OrNull(options.cert_file),
                                OrNull(options.key_file), nullptr),
              "TLS");
    }
    mosquitto_connect_callback_set(mosq, &BrokerClient::OnConnect);
    mosquitto_disconnect_callback_set(mosq, &BrokerClient::OnDisconnect);
    mosquitto_publish_callback_set(mosq, &BrokerClient::OnPublish);

    const std::uint64_t serial = ++serial_;
    attempt_ = attempt;
    attempt_watch_ =
        loop_.Watch(attempt->DoneFd(), [this, serial](bool, bool) { AttemptFinished(serial); });
    attempt_watch_->SetInterest(true, false);
    answer_timer_ =
        loop_.StartTimer(options.answer_timeout, [this] { Lose("no answer from the broker"); });
    std::thread(&Attempt::Run, std::move(attempt), options_).detach();
}

void BrokerClient::Disconnect() {
    ++serial_;
    connected_ = false;
    answer_timer_.reset();
    housekeeping_timer_.reset();
    attempt_watch_.reset();
    attempt_.reset();
    session_.reset();
}

int BrokerClient::Publish(const std::string& topic, const std::string& payload, int qos,
                          bool retain) {
    if (!connected_) {
        throw std::runtime_error("not connected to the broker");
    }
    int message_id = 0;
    Check(mosquitto_publish(session_->mosq, &message_id, topic.c_str(),
                            static_cast<int>(payload.size()), payload.data(), qos, retain),
          "publish");
    UpdateInterest();
    return message_id;
}

void BrokerClient::AttemptFinished(std::uint64_t serial) {
    if (serial != serial_) {
        return;
    }
    const std::shared_ptr<Attempt> attempt = std::move(attempt_);
    attempt_watch_.reset();
    if (attempt->Result() != MOSQ_ERR_SUCCESS) {
        Lose(ErrorText(attempt->Result(), attempt->Errno()));
        return;
    }
    session_ = std::make_unique<Session>(attempt->Release());
    const int socket = mosquitto_socket(session_->mosq);
    // A program the station starts must not hold the connection open after the station ends.
    ::fcntl(socket, F_SETFD, FD_CLOEXEC);
    session_->watch = loop_.Watch(
        socket, [this](bool readable, bool writable) { HandleSocket(readable, writable); });
    UpdateInterest();
}

void BrokerClient::HandleSocket(bool readable, bool writable) {
    mosquitto* mosq = session_->mosq;
    int result = MOSQ_ERR_SUCCESS;
    if (readable) {
        result = mosquitto_loop_read(mosq, 1);
    }
    if (result == MOSQ_ERR_SUCCESS && writable) {
        result = mosquitto_loop_write(mosq, 1);
    }
    const int saved_errno = errno;
    // Acted on in the order they happened; any handler may end this session.
    const std::uint64_t serial = serial_;
    const std::vector<int> acknowledged = std::exchange(session_->acknowledged, {});
    const std::optional<int> connack = std::exchange(session_->connack, std::nullopt);
    const std::optional<int> disconnect = session_->disconnect;
    if (connack) {
        if (*connack != 0) {
            Lose(std::string("refused: ") + mosquitto_connack_string(*connack));
            return;
        }
        connected_ = true;
        answer_timer_.reset();
        housekeeping_timer_ = loop_.StartTimer(options_.keep_alive / 2, [this] { Housekeeping(); });
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
    if (serial != serial_) {
        return;
    }
    if (result != MOSQ_ERR_SUCCESS || disconnect) {
        Lose(result != MOSQ_ERR_SUCCESS ? ErrorText(result, saved_errno)
                                        : ErrorText(*disconnect, saved_errno));
        return;
    }
    UpdateInterest();
}

void BrokerClient::Housekeeping() {
    const int result = mosquitto_loop_misc(session_->mosq);
    if (result != MOSQ_ERR_SUCCESS) {
        Lose(ErrorText(result, errno));
        return;
    }
    housekeeping_timer_ = loop_.StartTimer(options_.keep_alive / 2, [this] { Housekeeping(); });
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

void BrokerClient::OnConnect(mosquitto*, void* self, int code) {
    static_cast<BrokerClient*>(self)->session_->connack = code;
}

void BrokerClient::OnDisconnect(mosquitto*, void* self, int code) {
    static_cast<BrokerClient*>(self)->session_->disconnect = code;
}

void BrokerClient::OnPublish(mosquitto*, void* self, int message_id) {
    static_cast<BrokerClient*>(self)->session_->acknowledged.push_back(message_id);
}

}  // namespace station::net
