// Saves published to a broker on the same machine: the time from "Zapisz ważenie" to the
// subscriber, p50 and p99. Argument: saves (default 200).
#include <cstdio>
#include <ctime>
#include <sstream>

#include "bench/station_harness.h"
#include "tests/support/mqtt_broker.h"

namespace {

double WallSeconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// Lines "time topic" of the subscriber whose topic ends in `leaf`.
std::size_t Received(const station::test::MqttSubscriber& subscriber, const std::string& leaf) {
    std::size_t count = 0;
    for (const std::string& line : subscriber.Lines()) {
        count += line.ends_with(leaf) ? 1U : 0U;
    }
    return count;
}

}  // namespace

int main(int argc, char** argv) {
    bench::UseOffscreenPlatform();
    QApplication application(argc, argv);
    const auto saves = static_cast<std::size_t>(bench::SecondsArgument(argc, argv, 200));

    station::test::MqttBroker broker;
    // "%U %t": the subscriber's receive time (wall clock) and the topic.
    station::test::MqttSubscriber subscriber(broker, "t/#", {}, "%U %t");
    bench::Station station({1, 1, 1, 1}, bench::PublishingSettings(broker.Port()));
    bench::Station::RunFor(5, [&] { return station.PublishingStatus() == "OK 0"; });
    bench::Station::RunFor(5, [&] { return Received(subscriber, "/status") > 0; });

    QPushButton* save = station.Form().Controls().scales[0].BBsave;
    std::vector<double> clicked;
    for (std::size_t i = 0; i < saves; ++i) {
        clicked.push_back(WallSeconds());
        save->click();
        bench::Station::RunFor(0.01);
    }
    bench::Station::RunFor(10, [&] { return Received(subscriber, "/weighing") >= saves; });

    std::vector<double> latencies_ms;
    for (const std::string& line : subscriber.Lines()) {
        std::istringstream fields(line);
        double received = 0;
        std::string topic;
        if (fields >> received >> topic && topic.ends_with("/weighing") &&
            latencies_ms.size() < clicked.size()) {
            latencies_ms.push_back((received - clicked[latencies_ms.size()]) * 1000);
        }
    }
    std::printf("publish: %zu saves, %zu received: save to subscriber p50 %.2f ms, p99 %.2f ms\n",
                saves, latencies_ms.size(), bench::Percentile(latencies_ms, 0.5),
                bench::Percentile(latencies_ms, 0.99));
    return latencies_ms.size() == saves ? 0 : 1;
}
