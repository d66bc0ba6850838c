// Four connected scales that send nothing: the station's CPU time and the wake-ups of its event
// loop; then the same with a connected broker, which should add only the keep-alive's. Then one
// scale sending a line a second, with the silence watch off and on (silence=3): the watch
// should add no wake-up. Last, four silent scales whose stable saves wait for a reading that
// never settles: the waits should add no wake-up either. Argument: seconds for each (default 20).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <functional>

#include "bench/emulated_scales.h"
#include "bench/station_harness.h"
#include "tests/support/loopback.h"
#include "tests/support/mqtt_broker.h"

namespace {

struct Idle {
    double seconds;
    double cpu_ms;
    std::uint64_t wakeups;
    int waits = 0;  // stable saves that were waiting
};

// The station's loop for `seconds` against scales on `ports`, after start-up has settled and
// `prepare` has run.
Idle Measure(
    double seconds, const std::vector<int>& ports, const std::string& more_settings,
    const std::function<void(bench::Station&)>& prepare = [](bench::Station&) {}) {
    bench::Station station(ports, more_settings);
    bench::Station::RunFor(5, [&] {
        return station.AllConnected() && (more_settings.find("broker") == std::string::npos ||
                                          station.PublishingStatus() == "OK 0");
    });
    prepare(station);
    bench::Station::RunFor(1);  // let start-up painting and the first states settle

    std::uint64_t wakeups = 0;
    const QMetaObject::Connection counting = QObject::connect(
        QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::awake, [&] { ++wakeups; });
    const double cpu_start = bench::CpuSeconds();
    QElapsedTimer run;
    run.start();
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, [] { QCoreApplication::quit(); });
    end.start(static_cast<int>(seconds * 1000));
    QCoreApplication::exec();  // the real loop, blocking as it does in the program
    const double cpu_ms = (bench::CpuSeconds() - cpu_start) * 1000;
    QObject::disconnect(counting);
    return {static_cast<double>(run.elapsed()) / 1000, cpu_ms, wakeups};
}

Idle Silent(double seconds, const std::string& more_settings) {
    std::vector<station::test::LoopbackListener> listeners;
    std::vector<int> ports;
    listeners.reserve(4);
    ports.reserve(4);
    for (int i = 0; i < 4; ++i) {
        // The kernel completes the connections; nobody ever sends.
        ports.push_back(listeners.emplace_back(0, 4).Port());
    }
    return Measure(seconds, ports, more_settings);
}

// One scale sending a line a second, the other three refused: each line is one wake-up of its
// own, so what the watch adds stands out.
Idle Talking(double seconds, const std::string& more_settings) {
    const bench::EmulatedScales scale({"--port", "0", "--rate", "1", "--scales", "1"});
    std::vector<int> ports{scale.Ports()[0]};
    const std::array<station::test::RefusingPort, 3> refusing;
    for (const auto& port : refusing) {
        ports.push_back(port.Port());
    }
    return Measure(seconds, ports, more_settings);
}

// Four scales that each sent two different readings and fell silent, with a stable save of
// each waiting for a settled reading an hour long.
Idle Waiting(double seconds) {
    std::vector<station::test::LoopbackListener> listeners;
    std::vector<int> ports;
    listeners.reserve(4);
    ports.reserve(4);
    for (int i = 0; i < 4; ++i) {
        ports.push_back(listeners.emplace_back().Port());
    }
    std::vector<int> peers;
    int waits = 0;  // buttons held by a wait, as the operator would see them
    Idle idle = Measure(seconds, ports,
                        "[Odczyt]\r\nsave1=stable\r\nsave2=stable\r\nsave3=stable\r\n"
                        "save4=stable\r\nstable_wait=3600\r\n",
                        [&](bench::Station& station) {
                            for (const auto& listener : listeners) {
                                peers.push_back(listener.Accept());
                                (void)!::write(peers.back(), "1\r\n2\r\n", 6);
                            }
                            bench::Station::RunFor(0.5);
                            for (const auto& box : station.Form().Controls().scales) {
                                box.BBsave->click();
                                waits += box.BBsave->isEnabled() ? 0 : 1;
                            }
                        });
    for (const int peer : peers) {
        ::close(peer);
    }
    idle.waits = waits;
    return idle;
}

}  // namespace

int main(int argc, char** argv) {
    bench::UseOffscreenPlatform();
    QApplication application(argc, argv);
    const double seconds = bench::SecondsArgument(argc, argv, 20);

    const Idle alone = Silent(seconds, {});
    const station::test::MqttBroker broker;
    const Idle publishing = Silent(seconds, bench::PublishingSettings(broker.Port()));
    const Idle talking = Talking(seconds, {});
    const Idle watched = Talking(seconds, "[Odczyt]\r\nsilence=3\r\n");
    const Idle waiting = Waiting(seconds);
    std::printf(
        "idle: 4 connected silent scales, %.0f s: %.2f ms CPU, %llu loop wake-ups; with a "
        "connected broker: %.2f ms CPU, %llu wake-ups; 1 scale at 1 line/s: %llu wake-ups, "
        "%llu with silence=3; 4 silent scales with %d stable saves waiting: %.2f ms CPU, "
        "%llu wake-ups\n",
        alone.seconds, alone.cpu_ms, static_cast<unsigned long long>(alone.wakeups),
        publishing.cpu_ms, static_cast<unsigned long long>(publishing.wakeups),
        static_cast<unsigned long long>(talking.wakeups),
        static_cast<unsigned long long>(watched.wakeups), waiting.waits, waiting.cpu_ms,
        static_cast<unsigned long long>(waiting.wakeups));
    return 0;
}
