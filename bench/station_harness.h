#pragma once

// The real main window on the offscreen platform, in a directory of its own, pointed at the
// given ports: what the station benchmarks measure.

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "tests/support/resident_memory.h"
#include "tests/support/station_directory.h"
#include "tests/support/temp_dir.h"
#include "ui/about_box.h"
#include "ui/params_dialog.h"
#include "ui/toolkit.h"

namespace bench {

inline double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
    };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Seconds from the command line, or `fallback`.
inline double SecondsArgument(int argc, char** argv, double fallback) {
    return argc > 1 ? std::atof(argv[1]) : fallback;
}

class Station {
public:
    // `more_settings` is added to the settings file (another section).
    explicit Station(const std::vector<int>& ports, const std::string& more_settings = {})
        : cwd_(PrepareDirectory(dir_, ports, more_settings)) {
        form_ = std::make_unique<station::TForm1>(toolkit_, clock_);
        form_->AttachDialogs(new station::ui::TFparams(form_->Model().Connections(), form_.get()),
                             new station::ui::TAboutBox(toolkit_, form_.get()));
        form_->show();
    }
    ~Station() { form_.reset(); }
    Station(const Station&) = delete;
    Station& operator=(const Station&) = delete;

    station::TForm1& Form() { return *form_; }

    // Status-bar panel 8: how publishing fares.
    QString PublishingStatus() const { return form_->Controls().StatusBar->PanelAt(8).text; }

    bool AllConnected() {
        for (int n = 1; n <= 4; ++n) {
            if (!form_->Model().ClientSocket(n).Active()) {
                return false;
            }
        }
        return true;
    }

    // Runs the loop until `done` holds or `seconds` pass.
    static void RunFor(
        double seconds, const std::function<bool()>& done = [] { return false; }) {
        QElapsedTimer clock;
        clock.start();
        while (!done() && clock.elapsed() < static_cast<qint64>(seconds * 1000)) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
        }
    }

private:
    // dane/ with the settings for `ports`, run/ for the session token; returns the directory.
    static std::string PrepareDirectory(const station::test::TempDir& dir,
                                        const std::vector<int>& ports,
                                        const std::string& more_settings) {
        station::test::PrepareStationDirectory(dir);
        std::string settings = "[Polaczenie]\r\n";
        for (std::size_t i = 0; i < ports.size(); ++i) {
            settings += "port" + std::to_string(i + 1) + "=" + std::to_string(ports[i]) + "\r\n";
        }
        station::test::WriteFile(dir / "dane/konfig.ini", settings + more_settings);
        return dir.Path();
    }

    station::test::TempDir dir_;
    station::test::WorkingDirectory cwd_;
    station::ui::QtToolkit toolkit_;
    station::SystemClock clock_;
    std::unique_ptr<station::TForm1> form_;
};

// Offscreen, so the benchmarks run anywhere.
inline void UseOffscreenPlatform() {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
}

// The settings that publish to a broker on this machine at `port`, under topic "t".
inline std::string PublishingSettings(int port) {
    return "[Publikacja]\r\nbroker=127.0.0.1\r\nport=" + std::to_string(port) + "\r\ntopic=t\r\n";
}

inline double Percentile(std::vector<double> values, double share) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    return values[static_cast<std::size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace bench
