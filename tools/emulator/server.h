#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "tools/emulator/line_source.h"
#include "tools/emulator/options.h"

namespace emulator {

// The scales as TCP servers on 127.0.0.1, all on one thread with poll(2).
class Server {
public:
    explicit Server(const Options& options);
    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Opens the listening ports of the scales that do not refuse. Throws std::runtime_error
    // naming the port that cannot be served.
    void Listen();
    // The port each scale listens on, 0 for a scale that refuses.
    std::vector<int> Ports() const;
    // Serves until `stop` turns true (checked at least every 100 ms).
    void Run(const std::atomic<bool>& stop);

private:
    using Clock = std::chrono::steady_clock;
    struct Client {
        int fd;
        int scale;
        LineSource source;
        std::string pending;
        std::int64_t lines = 0;
        Clock::time_point due;
        bool close_when_sent = false;
    };

    const ScaleOptions& OptionsOf(int scale) const {
        return options_.scale[static_cast<std::size_t>(scale)];
    }
    void Accept(int scale);
    // Queues what is due; false when the client is to be dropped at once.
    bool Produce(Client& client, Clock::time_point now);
    // Writes what is queued; false when the client is gone.
    bool Flush(Client& client);
    void Drop(std::size_t index, bool reset);

    Options options_;
    std::vector<int> listeners_;  // per scale, -1 when refusing
    std::vector<std::unique_ptr<Client>> clients_;
    std::uint64_t accepted_ = 0;
};

}  // namespace emulator
