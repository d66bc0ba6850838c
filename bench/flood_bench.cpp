// Four scales flooding the real station: lines decoded per second, the longest stall of the
// event loop and resident memory; then the same with publishing to a broker on this machine,
// whose live states are thinned per scale; then again with the silence watch on, which reads
// the clock once per read. In the middle of each run "Zapisz ważenie" of scale 1 is clicked
// (the click queued as input is): the time until the weighing is written. Argument: seconds for
// each (default 30).
#include <QPushButton>

#include <time.h>

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
    double thread_ns_per_line;
    double save_ms;
};

// CPU time of the calling thread: the station's share of a flood, whatever the scales' threads
// take of the cores beside it.
double ThreadCpuNs() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

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
    // Told after the save's own handler, which writes the weighing.
    auto* save = station.Form().findChild<QPushButton*>(QStringLiteral("BBsave1"));
    QElapsedTimer clicked;
    double save_ms = -1;
    QObject::connect(save, &QPushButton::clicked,
                     [&] { save_ms = static_cast<double>(clicked.nsecsElapsed()) / 1e6; });
    QTimer::singleShot(static_cast<int>(seconds * 500), [&] {
        clicked.start();
        QMetaObject::invokeMethod(save, &QPushButton::click, Qt::QueuedConnection);
    });

    const double cpu_start = ThreadCpuNs();
    QElapsedTimer run;
    run.start();
    bench::Station::RunFor(seconds);
    const double elapsed = static_cast<double>(run.nsecsElapsed()) / 1e9;
    probe.stop();

    const double cpu_ns = ThreadCpuNs() - cpu_start;
    const std::uint64_t lines = station.Form().Model().LinesDecoded() - lines_start;
    const double rss_end = station::test::ResidentMiB();
    return {elapsed,
            static_cast<double>(lines) / elapsed,
            static_cast<double>(longest_ns) / 1e6,
            rss_start,
            rss_end,
            cpu_ns / static_cast<double>(lines),
            save_ms};
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
        "flood: 4 scales, %.0f s: %.0f lines/s decoded (the station's thread %.0f ns CPU a line), "
        "longest loop stall %.1f ms, a save clicked during it written in %.1f ms, RSS %.1f -> "
        "%.1f MiB (+%.1f); publishing on: %.0f lines/s (%.2f of off), longest stall %.1f ms, save "
        "%.1f ms; silence watch on: %.0f lines/s (%.3f of off)\n",
        off.seconds, off.lines_per_second, off.thread_ns_per_line, off.longest_stall_ms,
        off.save_ms, off.rss_start, off.rss_end, off.rss_end - off.rss_start, on.lines_per_second,
        on.lines_per_second / off.lines_per_second, on.longest_stall_ms, on.save_ms,
        watched.lines_per_second, watched.lines_per_second / off.lines_per_second);
    return 0;
}
