// scale-emulator: weighing scales on 127.0.0.1 for demonstrations and tests.
#include <csignal>
#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "tools/emulator/server.h"

namespace {

std::atomic<bool> stop_requested{false};

void RequestStop(int /*signal*/) {
    stop_requested = true;
}

}  // namespace

int main(int argc, char** argv) {
    const emulator::ParseResult parsed =
        emulator::ParseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.options) {
        std::cerr << "scale-emulator: " << parsed.error << "\nTry 'scale-emulator --help'.\n";
        return 2;
    }
    if (parsed.options->help) {
        std::cout << emulator::Usage();
        return 0;
    }
    if (parsed.options->version) {
        std::cout << "scale-emulator " STATION_VERSION "\n";
        return 0;
    }
    struct sigaction action {};
    action.sa_handler = RequestStop;  // no SA_RESTART: poll returns and the loop sees it
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    emulator::Server server(*parsed.options);
    try {
        server.Listen();
    } catch (const std::runtime_error& error) {
        std::cerr << "scale-emulator: " << error.what() << "\n";
        return 1;
    }
    const std::vector<int> ports = server.Ports();
    for (std::size_t i = 0; i < ports.size(); ++i) {
        const emulator::ScaleOptions& scale = parsed.options->scale[i];
        if (!scale.serial_link.empty() && !scale.faults.refuse) {
            std::cout << "scale " << i + 1 << ": serial " << scale.serial_link << "\n";
        } else if (ports[i] == 0) {
            std::cout << "scale " << i + 1 << ": refusing connections\n";
        } else {
            std::cout << "scale " << i + 1 << ": 127.0.0.1:" << ports[i] << "\n";
        }
    }
    std::cout.flush();
    server.Run(stop_requested);
    return 0;
}
