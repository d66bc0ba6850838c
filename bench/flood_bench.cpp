// Four scales flooding the real station: lines decoded per second, the longest stall of the
// event loop and resident memory; then the same with publishing to a broker on this machine,
// whose live states are thinned per scale; then again with the silence watch on, which reads
// the clock once per read. Argument: seconds for each (default 30).
#include <cstdio>

#include "bench/emulated_scales.h"
#include "bench/station_harness.h"
#include "tests/support/mqtt_broker.h"

namespace {

struct Flood {
    double seconds;
    double lines_per_second;
    double longest_stall_ms;
    double rss_start;
    double rss_end;
};

Flood Run(double seconds, const std::string& more_settings) {
    const bench::EmulatedScales scales({"--port", "0", "--rate", "flood", "--profile", "walk"});

    bench::Station station(scales.Ports(), more_settings);
    bench::Station::RunFor(5, [&] { return station.AllConnected(); });
    const double rss_start = station::test::ResidentMiB();
    const std::uint64_t lines_start = station.Form().Model().LinesDecoded();

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

    const std::uint64_t lines = station.Form().Model().LinesDecoded() - lines_start;
    const double rss_end = station::test::ResidentMiB();
    return {elapsed, static_cast<double>(lines) / elapsed, static_cast<double>(longest_ns) / 1e6,
            rss_start, rss_end};
}

}  // namespace

int main(int argc, char** argv) {
    bench::UseOffscreenPlatform();
    QApplication application(argc, argv);
    const double seconds = bench::SecondsArgument(argc, argv, 30);

    const Flood off = Run(seconds, {});
    const station::test::MqttBroker broker;
    const Flood on = Run(seconds, bench::PublishingSettings(broker.Port()));
    const Flood watched = Run(seconds, "[Odczyt]\r\nsilence=3\r\n");
    std::printf(
        "flood: 4 scales, %.0f s: %.0f lines/s decoded, longest loop stall %.1f ms, "
        "RSS %.1f -> %.1f MiB (+%.1f); publishing on: %.0f lines/s (%.2f of off), longest stall "
        "%.1f ms; silence watch on: %.0f lines/s (%.3f of off)\n",
        off.seconds, off.lines_per_second, off.longest_stall_ms, off.rss_start, off.rss_end,
        off.rss_end - off.rss_start, on.lines_per_second,
        on.lines_per_second / off.lines_per_second, on.longest_stall_ms, watched.lines_per_second,
        watched.lines_per_second / off.lines_per_second);
    return 0;
}
