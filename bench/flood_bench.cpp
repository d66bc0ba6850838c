// Four scales flooding the real station: lines decoded per second, the longest stall of the
// event loop and resident memory. Argument: seconds (default 30).
#include <cstdio>
#include <thread>

#include "bench/station_harness.h"
#include "tools/emulator/server.h"

int main(int argc, char** argv) {
    bench::UseOffscreenPlatform();
    QApplication application(argc, argv);
    const double seconds = bench::SecondsArgument(argc, argv, 30);

    const emulator::ParseResult parsed =
        emulator::ParseOptions({"--port", "0", "--rate", "flood", "--profile", "walk"});
    emulator::Server scales(*parsed.options);
    scales.Listen();
    std::atomic<bool> stop{false};
    std::thread serving([&] { scales.Run(stop); });

    bench::Station station(scales.Ports());
    bench::Station::RunFor(5, [&] { return station.AllConnected(); });
    const double rss_start = station::test::ResidentMiB();
    const std::uint64_t lines_start = station.Form().LinesDecoded();

    // A zero timer fires once per turn of the loop: the gaps between firings are the stalls.
    QElapsedTimer turn;
    qint64 longest_ns = 0;
    QTimer probe;
    probe.setInterval(0);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        longest_ns = std::max(longest_ns, turn.nsecsElapsed());
        turn.restart();
    });
    turn.start();
    probe.start();
    QElapsedTimer run;
    run.start();
    bench::Station::RunFor(seconds);
    const double elapsed = static_cast<double>(run.nsecsElapsed()) / 1e9;
    probe.stop();

    const std::uint64_t lines = station.Form().LinesDecoded() - lines_start;
    const double rss_end = station::test::ResidentMiB();
    stop = true;
    serving.join();
    std::printf(
        "flood: 4 scales, %.0f s: %.0f lines/s decoded, longest loop stall %.1f ms, "
        "RSS %.1f -> %.1f MiB (+%.1f)\n",
        elapsed, static_cast<double>(lines) / elapsed, static_cast<double>(longest_ns) / 1e6,
        rss_start, rss_end, rss_end - rss_start);
    return 0;
}
