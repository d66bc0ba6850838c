// Four scales at 100 lines a second each: time from a scale's write to the change of its
// display, p50 and p99. Argument: seconds (default 10).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <array>
#include <atomic>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "bench/station_harness.h"
#include "tests/support/loopback.h"

namespace {

using Clock = std::chrono::steady_clock;

// A scale that writes its line number as the reading, and notes when it wrote it.
struct Scale {
    std::optional<station::test::LoopbackListener> listener;
    std::mutex mutex;
    std::vector<Clock::time_point> written;  // by line number
};

void Listen(Scale& scale) {
    scale.listener.emplace(0, 4);
}

void Serve(Scale& scale, const std::atomic<bool>& stop) {
    const int peer = accept(scale.listener->Fd(), nullptr, nullptr);
    const int yes = 1;
    setsockopt(peer, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    auto due = Clock::now();
    for (int line = 1; !stop; ++line) {
        std::this_thread::sleep_until(due);
        due += std::chrono::milliseconds(10);
        const std::string text = std::to_string(line) + "\r\n";
        {
            const std::lock_guard<std::mutex> guard(scale.mutex);
            scale.written.push_back(Clock::now());
        }
        send(peer, text.data(), text.size(), MSG_NOSIGNAL);
    }
    close(peer);
}

}  // namespace

int main(int argc, char** argv) {
    bench::UseOffscreenPlatform();
    QApplication application(argc, argv);
    const double seconds = bench::SecondsArgument(argc, argv, 10);

    std::array<Scale, 4> scales;
    std::vector<int> ports;
    for (Scale& scale : scales) {
        Listen(scale);
        ports.push_back(scale.listener->Port());
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> threads;
    threads.reserve(scales.size());
    for (Scale& scale : scales) {
        threads.emplace_back([&scale, &stop] { Serve(scale, stop); });
    }
    bench::Station station(ports);
    bench::Station::RunFor(5, [&] { return station.AllConnected(); });

    // Each turn of the loop looks at the four displays; a new number is a line that arrived.
    std::vector<double> latencies_ms;
    std::array<QString, 4> last;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const auto now = Clock::now();
        for (std::size_t i = 0; i < scales.size(); ++i) {
            const QString shown = station.Form().Controls().scales[i].Ldisplay->text();
            bool number = false;
            const int line = shown.toInt(&number);
            if (!number || shown == last[i]) {
                continue;
            }
            last[i] = shown;
            const std::lock_guard<std::mutex> guard(scales[i].mutex);
            if (line >= 1 && static_cast<std::size_t>(line) <= scales[i].written.size()) {
                latencies_ms.push_back(
                    std::chrono::duration<double, std::milli>(
                        now - scales[i].written[static_cast<std::size_t>(line - 1)])
                        .count());
            }
        }
    });
    probe.start();
    bench::Station::RunFor(seconds);
    probe.stop();
    stop = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    std::printf("latency: 4 scales x 100 lines/s, %.0f s, %zu readings: p50 %.2f ms, p99 %.2f ms\n",
                seconds, latencies_ms.size(), bench::Percentile(latencies_ms, 0.5),
                bench::Percentile(latencies_ms, 0.99));
    return 0;
}
