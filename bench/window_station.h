#pragma once

#include <csignal>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "bench/emulated_scales.h"
#include "tests/core/fakes.h"
#include "tests/support/child_process.h"

namespace station::bench {

// The station program itself, its window on a virtual X server of its own, reading an emulated
// scale on its first box and publishing to a broker: saved by a click on the box's "Zapisz
// ważenie" (xdotool), killed with SIGKILL and started again like a station whose power fails.
// Its register, in its own dane/, holds what it saved, whatever the clicks did.
class WindowStation {
public:
    WindowStation(const std::filesystem::path& dir, const std::string& room, int broker_port)
        : dir_(dir),
          scales_({"--port", "0", "--scales", "1", "--rate", "4", "--profile", "1:walk", "--start",
                   "1:1250"}) {
        std::filesystem::create_directories(dir_ / "dane");
        std::filesystem::create_directories(dir_ / "runtime");
        std::filesystem::permissions(dir_ / "runtime", std::filesystem::perms::owner_all);
        station::test::WriteFile(
            dir_ / "dane" / "konfig.ini",
            "[Polaczenie]\naddress1=127.0.0.1\nport1=" + std::to_string(scales_.Ports().at(0)) +
                "\n[Publikacja]\nbroker=127.0.0.1\nport=" + std::to_string(broker_port) +
                "\ntopic=tarvelio/" + room + "\nclient_id=" + room + "\n");
        const std::string display_file = dir_ / "display";
        xvfb_.emplace(std::vector<std::string>{"bash", "-c",
                                               "exec Xvfb -displayfd 3 -screen 0 1280x800x24 "
                                               "-nolisten tcp -noreset 3>" +
                                                   display_file},
                      dir_ / "xvfb.log");
        for (int tries = 0; display_.empty() && tries < 500; ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            const std::string number = station::test::ReadFile(display_file);
            if (number.find('\n') != std::string::npos) {
                display_ = ":" + number.substr(0, number.find('\n'));
            }
        }
        if (display_.empty()) {
            throw std::runtime_error("Xvfb did not start");
        }
        Start();
    }

    void Start() {
        program_.emplace(std::vector<std::string>{"env", "-C", dir_, "DISPLAY=" + display_,
                                                  "QT_QPA_PLATFORM=xcb",
                                                  "XDG_RUNTIME_DIR=" + (dir_ / "runtime").string(),
                                                  STATION_PROGRAM},
                         dir_ / "station.log", SIGKILL);
    }
    void Kill() { program_.reset(); }
    bool Running() const { return program_.has_value(); }

    // A click on the first box's save button, if the window is up (its place is fixed).
    void ClickSave() const {
        station::test::RunToEnd({"env", "DISPLAY=" + display_, "xdotool", "search", "--onlyvisible",
                                 "--name", "^Program do monitorowania wag$", "mousemove",
                                 "--window", "%1", "108", "220", "click", "1"},
                                dir_ / "xdotool.log");
    }

    std::filesystem::path RegisterFolder() const { return dir_ / "dane"; }

private:
    std::filesystem::path dir_;
    ::bench::EmulatedScales scales_;
    std::optional<station::test::ChildProcess> xvfb_;
    std::string display_;
    std::optional<station::test::ChildProcess> program_;
};

}  // namespace station::bench
