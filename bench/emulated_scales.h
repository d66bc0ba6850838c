#pragma once

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "tools/emulator/server.h"

namespace bench {

// The scale emulator, given its command line, served on a thread of this process until this
// goes.
class EmulatedScales {
public:
    explicit EmulatedScales(const std::vector<std::string>& arguments)
        : server_(*emulator::ParseOptions(arguments).options) {
        server_.Listen();
        serving_ = std::thread([this] { server_.Run(stop_); });
    }
    ~EmulatedScales() {
        stop_ = true;
        serving_.join();
    }
    EmulatedScales(const EmulatedScales&) = delete;
    EmulatedScales& operator=(const EmulatedScales&) = delete;

    std::vector<int> Ports() const { return server_.Ports(); }

private:
    emulator::Server server_;
    std::atomic<bool> stop_{false};
    std::thread serving_;
};

}  // namespace bench
