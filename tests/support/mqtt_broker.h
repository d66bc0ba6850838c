#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/temp_dir.h"

namespace station::test {

// Debian's MQTT broker on 127.0.0.1 and a port of its own, with a configuration written here;
// sessions and retained messages survive a Stop and Start. As the README's recipe for a plant
// says, no client's queue is bounded: the broker would drop QoS 1 messages beyond 1000 queued
// for a subscriber slower than its publishers.
class MqttBroker {
public:
    // `extra` is added to the listener's configuration (TLS, password file).
    explicit MqttBroker(std::string extra = "allow_anonymous true\n") : extra_(std::move(extra)) {
        // A port another test took between the choice and the start is given up for another.
        for (int attempt = 0; attempt < 3; ++attempt) {
            port_ = FreeLoopbackPort();
            if (Start()) {
                return;
            }
            Stop();
        }
    }

    int Port() const { return port_; }

    // Starts the broker on its port, waiting up to two seconds until it accepts connections.
    bool Start() {
        WriteFile(dir_ / "mosquitto.conf",
                  "user root\nper_listener_settings true\nmax_queued_messages 0\nlog_dest file " +
                      dir_.Path() + "/broker.log\npersistence true\npersistence_location " +
                      dir_.Path() + "/\nlistener " + std::to_string(port_) + " 127.0.0.1\n" +
                      extra_);
        process_.emplace(std::vector<std::string>{"mosquitto", "-c", dir_ / "mosquitto.conf"},
                         dir_ / "broker.out");
        for (int i = 0; i < 200; ++i) {
            if (AcceptsConnections(port_)) {
                ++probes_;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    void Stop() { process_.reset(); }
    // As a broker dies: what it held since its last save is lost.
    void Kill() {
        if (process_) {
            process_->End(SIGKILL);
        }
        process_.reset();
    }

    std::string Log() const { return ReadFile(dir_ / "broker.log"); }

    // Connections the broker has logged so far, besides the probes that saw it up.
    std::size_t ConnectionCount() const {
        const std::string log = Log();
        std::size_t count = 0;
        for (std::size_t at = 0; (at = log.find("New connection from", at)) != std::string::npos;
             ++at) {
            ++count;
        }
        return count - probes_;
    }

private:
    TempDir dir_;
    int port_ = 0;
    std::string extra_;
    std::optional<ChildProcess> process_;
    std::size_t probes_ = 0;
};

// A subscriber to `topic` with the broker's own client: with a `client_id` its session is
// persistent (QoS 1, nothing missed while it is away). Each message is one line in `format`,
// by default "retained-flag topic payload". It is ended with SIGKILL: it writes every line as
// it comes and has nothing to flush, and its own SIGTERM handler can deadlock in the library.
class MqttSubscriber {
public:
    MqttSubscriber(const MqttBroker& broker, const std::string& topic,
                   const std::string& client_id = {}, const std::string& format = "%r %t %p") {
        std::vector<std::string> arguments{"mosquitto_sub", "-h", "127.0.0.1", "-p",
                                           std::to_string(broker.Port())};
        arguments.insert(arguments.end(), {"-t", topic, "-q", "1", "-F", format});
        if (!client_id.empty()) {
            arguments.insert(arguments.end(), {"-c", "-i", client_id});
        }
        WriteFile(output_ / "messages", "");
        process_.emplace(arguments, output_ / "messages", SIGKILL);
    }

    // The messages written out so far; a line the client is still writing is not one yet.
    std::vector<std::string> Lines() const {
        std::vector<std::string> lines;
        const std::string text = ReadFile(output_ / "messages");
        for (std::size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos;
             at = end + 1) {
            lines.push_back(text.substr(at, end - at));
        }
        return lines;
    }

    // The payloads of messages on topics ending in `leaf`.
    std::vector<std::string> Payloads(const std::string& leaf) const {
        std::vector<std::string> payloads;
        for (const std::string& line : Lines()) {
            const std::size_t topic_end = line.find(' ', 2);
            if (topic_end != std::string::npos && line.substr(0, topic_end).ends_with(leaf)) {
                payloads.push_back(line.substr(topic_end + 1));
            }
        }
        return payloads;
    }

    void Stop() { process_.reset(); }

private:
    TempDir output_;
    std::optional<ChildProcess> process_;
};

}  // namespace station::test
