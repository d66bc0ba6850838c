#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "base/file_descriptor.h"
#include "tools/emulator/line_source.h"
#include "tools/emulator/options.h"

namespace emulator {

// The scales as TCP servers on 127.0.0.1, or on pseudo-terminals as serial scales, all on one
// thread with poll(2).
class Server {
public:
    explicit Server(const Options& options);
    // Removes the serial links it made.
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the listening ports of the scales that do not refuse, and the serial lines. Throws
    // std::runtime_error naming the port or link that cannot be served.
    void Listen();
    // The port each scale listens on, 0 for a scale that refuses or is serial.
    std::vector<int> Ports() const;
    // Serves until `stop` turns true (checked at least every 100 ms).
    void Run(const std::atomic<bool>& stop);

private:
    using Clock = std::chrono::steady_clock;
    struct Client {
        station::FileDescriptor fd;
        int scale;
        LineSource source;
        std::string pending;
        std::int64_t lines = 0;      // sent to a reader, for the faults
        Clock::time_point due;
        bool close_when_sent = false;
        bool stalled_mid_line = false;
        bool serial = false;
        bool far_end_open = false;         // serial: someone has the line open
        Clock::time_point line_free_at{};  // serial: when the bytes written so far are sent
        Clock::time_point cut_at{};        // serial: when a close fault cuts the line
        std::int64_t requested = 0;        // lines asked for and not yet sent, on demand
    };

    const ScaleOptions& OptionsOf(int scale) const {
        return options_.scale[static_cast<std::size_t>(scale)];
    }
    void Accept(int scale);
    // Queues what is due; false when the client is to be dropped at once.
    bool Produce(Client& client, Clock::time_point now);
    // Writes what is queued; false when the client is gone.
    bool Flush(Client& client);
    // Writes what a serial line at its speed has carried by `now`; drops it with nobody there.
    void FlushSerial(Client& client, Clock::time_point now);
    // How long the loop may sleep before this client needs it again.
    Clock::duration Idle(const Client& client, Clock::time_point now) const;
    // Past a stall fault: the connection stays open and carries nothing more.
    bool Stalled(const Client& client) const;
    void Drop(std::size_t index, bool reset);

    Options options_;
    std::vector<station::FileDescriptor> listeners_;
    std::vector<std::string> links_;  // per scale, none when refusing or serial
    std::vector<std::unique_ptr<Client>> clients_;
    std::uint64_t accepted_ = 0;
};

}  // namespace emulator
