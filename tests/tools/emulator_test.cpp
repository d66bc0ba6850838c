// The scale emulator: its command line, its lines as the station decodes them, and its faults
// seen by the station's own client on 127.0.0.1.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

#include "core/reading/preset_recognition.h"
#include "core/reading/weight_decoder.h"
#include "tests/core/fakes.h"
#include "tests/net/net_fixtures.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"
#include "tools/emulator/line_source.h"
#include "tools/emulator/preset_frames.h"
#include "tools/emulator/server.h"

namespace emulator {
namespace {

using station::MakePreset;
using station::PresetNames;
using station::ReceiveBuffer;
using station::test::DecoderRig;

Options Parsed(const std::vector<std::string>& arguments) {
    const ParseResult result = ParseOptions(arguments);
    EXPECT_TRUE(result.options.has_value()) << result.error;
    return result.options.value_or(Options{});
}

std::string Error(const std::vector<std::string>& arguments) {
    const ParseResult result = ParseOptions(arguments);
    EXPECT_FALSE(result.options.has_value());
    return result.error;
}

TEST(EmulatorOptions, DefaultsAndPerScaleValues) {
    const Options defaults = Parsed({});
    EXPECT_EQ(defaults.scales, 4);
    EXPECT_EQ(defaults.scale[0].port, 2001);
    EXPECT_EQ(defaults.scale[3].port, 2004);
    EXPECT_EQ(defaults.scale[2].ending, LineEnding::kCrLf);

    const Options options =
        Parsed({"--format", "status", "--format", "2:comma", "--rate", "3:flood", "--fault",
                "4:reset-after=7", "--fault", "4:byte-writes", "--port", "0", "--scales", "4",
                "--serial", "2:/tmp/waga2", "--baud", "2:4800"});
    EXPECT_EQ(options.scale[0].format, LineFormat::kStatus);
    EXPECT_EQ(options.scale[1].format, LineFormat::kComma);
    EXPECT_TRUE(options.scale[2].flood);
    EXPECT_FALSE(options.scale[1].flood);
    EXPECT_EQ(options.scale[3].faults.reset_after, 7);
    EXPECT_EQ(Parsed({"--fault", "2:stall-after=5"}).scale[1].faults.stall_after, 5);
    EXPECT_TRUE(options.scale[3].faults.byte_writes);
    EXPECT_EQ(options.scale[0].faults.reset_after, -1);
    EXPECT_EQ(options.scale[0].port, 0);
    EXPECT_EQ(options.scale[1].serial_link, "/tmp/waga2");
    EXPECT_EQ(options.scale[1].baud, 4800);
    EXPECT_EQ(options.scale[0].serial_link, "");
    EXPECT_EQ(options.scale[0].baud, 9600);
}

TEST(EmulatorOptions, BadCommandLinesSayWhatIsWrong) {
    EXPECT_EQ(Error({"--bogus", "1"}), "unknown option --bogus");
    EXPECT_EQ(Error({"--rate"}), "--rate needs a value");
    EXPECT_EQ(Error({"--rate", "fast"}), "--rate: not a number: 'fast'");
    EXPECT_EQ(Error({"--rate", "0"}), "--rate: must be above 0, 'flood' or 'demand'");
    EXPECT_EQ(Error({"--scales", "5"}), "--scales: must be 1 to 4");
    EXPECT_EQ(Error({"--format", "5:plain"}), "--format: scale 5 is not 1 to 4");
    EXPECT_EQ(Error({"--format", "xml"}),
              "--format: 'xml' is not one of block, comma, cr-etx, csv-status, dollar, equals, "
              "equals-forward, fixed, id-line, letter-status, lf-range, marker, plain, polled, "
              "sign6-status, status, stx-etx, stx-polarity, stx-status, w-checksum");
    EXPECT_EQ(Error({"--fault", "reset-after"}), "--fault: reset-after needs =LINES");
    EXPECT_EQ(Error({"--fault", "melt"}), "--fault: unknown fault 'melt'");
    EXPECT_EQ(Error({"stray"}), "unexpected argument 'stray'");
    EXPECT_EQ(Error({"--baud", "10"}), "--baud: must be 50 to 4000000");
    EXPECT_EQ(
        Error({"--serial", "/tmp/waga"}),
        "--serial: scales 1 and 2 would share /tmp/waga; give each its own (--serial N:LINK)");
    EXPECT_EQ(Parsed({"--scales", "1", "--serial", "/tmp/waga"}).scale[0].serial_link, "/tmp/waga");
    EXPECT_EQ(Parsed({"--scales", "1", "--port", "65535"}).scale[0].port, 65535);
    EXPECT_EQ(Parsed({"--port", "65532"}).scale[3].port, 65535);
    EXPECT_EQ(Error({"--port", "65534", "--scales", "3"}),
              "--port: 3 scales from port 65534 would go past 65535");
}

TEST(EmulatorProgram, ExitStatusesAndHelp) {
    const std::string program = EMULATOR_PROGRAM;
    const auto status = [](const std::string& command) {
        const int raw = std::system((command + " >/dev/null 2>&1").c_str());
        return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    };
    EXPECT_EQ(status(program + " --help"), 0);
    EXPECT_EQ(status(program + " --version"), 0);
    EXPECT_EQ(status(program + " --scales 9"), 2);
    station::net::test::Listener taken;
    EXPECT_EQ(status(program + " --scales 1 --port " + std::to_string(taken.Port())), 1);
    EXPECT_EQ(status(program + " --scales 1 --serial /"), 1);  // not a link it may replace
    EXPECT_EQ(status(program + " --serial /tmp/waga"), 2);     // four scales on one link
}

TEST(EmulatorProgram, SerialLinksGoWhenItEnds) {
    const station::test::TempDir dir;
    station::test::ChildProcess emulator({EMULATOR_PROGRAM, "--scales", "2", "--serial",
                                          "1:" + dir / "waga1", "--serial", "2:" + dir / "waga2"},
                                         dir / "output");
    const auto linked = [&] {
        return std::filesystem::is_symlink(dir / "waga1") &&
               std::filesystem::is_symlink(dir / "waga2");
    };
    for (int i = 0; i < 200 && !linked(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_TRUE(linked());
    EXPECT_TRUE(emulator.End(SIGTERM));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "waga1")));
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(dir / "waga2")));
}

// Every line format as the station's decoder reads it, under both decimal separators.
TEST(EmulatorLines, FormatsDecodeAsTheStationShowsThem) {
    for (const char separator : {'.', ','}) {
        DecoderRig rig(separator);
        EXPECT_EQ(rig.Display(FormatLine(LineFormat::kPlain, 1234.5, false)), "1235");
        EXPECT_EQ(rig.Display(FormatLine(LineFormat::kPlain, -12.5, false)), "-13");
        EXPECT_EQ(rig.Display(FormatLine(LineFormat::kComma, 1234.4, false)), "1234");
        EXPECT_EQ(rig.Display(FormatLine(LineFormat::kFixed, 1234.5, true)), "1235");
        EXPECT_EQ(rig.Display(FormatLine(LineFormat::kStatus, 1234.5, false)), "1235");
    }
    EXPECT_EQ(FormatLine(LineFormat::kPlain, 1234.5, false), "  1234.5 kg");
    EXPECT_EQ(FormatLine(LineFormat::kStatus, 1234.5, true), "US,GS,+001234.5kg");
    EXPECT_EQ(FormatLine(LineFormat::kFixed, 1234.5, true), "M 001234.5 kg");
    EXPECT_EQ(LineEnd(LineEnding::kCrLf, true), "\n");
    EXPECT_EQ(LineEnd(LineEnding::kCr, true), "");
}

// A field's bad day, line by line: LF endings, a half line glued on, an end lost, noise first.
TEST(EmulatorLines, FaultsChangeTheLinesTheyStrike) {
    const Options options =
        Parsed({"--format", "csv-status", "--fault", "lf-endings", "--fault", "glued-half=2",
                "--fault", "lost-ending=3", "--fault", "noise=4"});
    const ScaleOptions& scale = options.scale[0];
    LineSource source(scale, 1);
    EXPECT_EQ(source.Next(), "ST,GS,+001000.0kg\n");
    EXPECT_EQ(source.Next(), "ST,GS,+0");
    EXPECT_EQ(source.Next(), "ST,GS,+001000.0kg");
    const std::string noisy = source.Next();
    EXPECT_TRUE(noisy.ends_with("ST,GS,+0")) << noisy;  // glued-half strikes too
    EXPECT_GT(noisy.size(), std::string("ST,GS,+0").size());
}

// Every preset the station reads, the emulator sends: a weight, grey while it moves, and the
// layout's over-range mark where it has one.
TEST(EmulatorLines, EveryPresetSendsWhatTheStationReads) {
    std::vector<std::string_view> station_presets = PresetNames();
    std::sort(station_presets.begin(), station_presets.end());
    EXPECT_EQ(PresetFrameNames(), station_presets);
    for (const std::string_view preset : PresetFrameNames()) {
        for (const char separator : {'.', ','}) {
            SCOPED_TRACE(std::string(preset) + " " + separator);
            DecoderRig rig(separator);
            rig.decoder.SetFormat(1, MakePreset(preset));
            ReceiveBuffer buffer;
            const auto send = [&](std::int64_t tenths, bool moving, bool over) {
                FirstFill fill;
                PresetFrame frame = MakePresetFrame(preset, tenths, moving, over, fill);
                for (int twice = 0; twice < 2; ++twice) {  // the second ends a frame begun by STX
                    rig.decoder.AppendReceivedData(frame.bytes,
                                                   static_cast<int>(frame.bytes.size()),
                                                   station::kWeightLineProtocol, buffer, 1);
                }
                return frame;
            };
            send(12345, false, false);
            EXPECT_EQ(rig.displays.shown.back().second, "1235");
            send(-123, true, false);
            EXPECT_EQ(rig.displays.shown.back().second, "-12");
            EXPECT_NE(rig.displays.motion.back(), std::optional<bool>(false));
            const PresetFrame over = send(12345, false, true);
            EXPECT_EQ(rig.displays.shown.back().second, over.over             ? "OL"
                                                        : over.weight.empty() ? "#err"
                                                                              : "1235");
        }
        // Every variant of the family, in another unit, is one "Rozpoznaj" offers the preset for.
        for (const std::string_view unit : {"g", "lb:oz"}) {
            for (int variant = 0; variant < 6; ++variant) {
                FirstFill fill;
                const std::string frame =
                    MakePresetFrame(preset, 12345, false, false, fill, unit, variant).bytes;
                std::string bytes;
                for (int copy = 0; copy < 3; ++copy) {
                    bytes += frame;
                }
                const auto matches = station::RecognisePresets(bytes);
                EXPECT_TRUE(std::any_of(matches.begin(), matches.end(),
                                        [&](const auto& match) { return match.preset == preset; }))
                    << preset << " " << unit << " variant " << variant;
            }
        }
    }
}

TEST(EmulatorLines, ProfilesMoveTheWeight) {
    ScaleOptions ramp;
    ramp.profile = Profile::kRamp;
    ramp.start = 100;
    ramp.step = 2;
    ramp.ending = LineEnding::kCr;
    LineSource ramping(ramp, 1);
    EXPECT_EQ(ramping.Next(), "   100.0 kg\r");
    EXPECT_EQ(ramping.Next(), "   102.0 kg\r");

    ScaleOptions cycle = ramp;
    cycle.profile = Profile::kCycle;
    LineSource cycling(cycle, 1);
    std::vector<std::string> lines(40);
    for (std::string& line : lines) {
        line = cycling.Next();
    }
    EXPECT_EQ(lines[0], "     0.0 kg\r");
    EXPECT_EQ(lines[15], "   100.0 kg\r");
    EXPECT_EQ(lines[35], "     0.0 kg\r");
}

// A served emulator and the station's client on a poll loop.
class EmulatorServing : public station::net::test::SocketTest {
protected:
    void Serve(const std::vector<std::string>& arguments) {
        std::vector<std::string> all{"--port", "0", "--rate", "200"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        server_ = std::make_unique<Server>(Parsed(all));
        server_->Listen();
        thread_ = std::thread([this] { server_->Run(stop_); });
    }

    ~EmulatorServing() override {
        stop_ = true;
        if (thread_.joinable()) {
            thread_.join();
        }
    }

    int PortOf(int scale) const { return server_->Ports()[static_cast<std::size_t>(scale - 1)]; }

    std::unique_ptr<Server> server_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST_F(EmulatorServing, ServesLinesToEachClient) {
    Serve({"--scales", "2", "--format", "2:comma", "--start", "2:50.4"});
    Connect(PortOf(2));
    ASSERT_TRUE(RunUntil([&] { return received_.size() > 40; }));
    EXPECT_EQ(received_.substr(0, 26), "    50,4 kg\r\n    50,4 kg\r\n");
}

// A scale asked for its weight answers each request with one line and sends nothing unasked.
TEST_F(EmulatorServing, OnDemandEachRequestIsAnsweredWithOneLine) {
    Serve({"--scales", "1", "--rate", "demand", "--format", "comma", "--start", "50.4"});
    const station::FileDescriptor peer(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(PortOf(1)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(connect(peer.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    const auto line = [&] {
        std::string got;
        pollfd ready{peer.Get(), POLLIN, 0};
        while (!got.ends_with("\r\n") && poll(&ready, 1, 5000) == 1) {
            char byte = 0;
            if (recv(peer.Get(), &byte, 1, 0) != 1) {
                break;
            }
            got += byte;
        }
        return got;
    };
    for (int request = 0; request < 2; ++request) {
        ASSERT_EQ(send(peer.Get(), "P\r\n", 3, MSG_NOSIGNAL), 3);
        EXPECT_EQ(line(), "    50,4 kg\r\n");
    }
    pollfd ready{peer.Get(), POLLIN, 0};
    EXPECT_EQ(poll(&ready, 1, 300), 0) << "a line nobody asked for";
}

TEST_F(EmulatorServing, RefusingScaleRefuses) {
    Serve({"--scales", "2", "--fault", "1:refuse"});
    EXPECT_EQ(PortOf(1), 0);
    Connect(PortOf(2));
    ASSERT_TRUE(RunUntil([&] { return client_.Active(); }));
}

TEST_F(EmulatorServing, ResetAfterLinesBreaksTheConnection) {
    Serve({"--scales", "1", "--fault", "reset-after=3", "--ending", "cr"});
    Connect(PortOf(1));
    ASSERT_TRUE(
        RunUntil([&] { return !events_.empty() && events_.back().rfind("error", 0) == 0; }));
    EXPECT_EQ(events_.back(), "error " + std::to_string(station::net::kErrDisconnect) + " " +
                                  std::to_string(ECONNRESET));
}

TEST_F(EmulatorServing, CloseInTheMiddleOfALineLeavesHalfALine) {
    Serve({"--scales", "1", "--fault", "close-mid-line=2", "--ending", "cr"});
    Connect(PortOf(1));
    ASSERT_TRUE(RunUntil([&] { return !events_.empty() && events_.back() == "disconnect"; }));
    EXPECT_EQ(received_, "  1000.0 kg\r  1000.0 kg\r  1000");  // half of the third
}

struct StallCase {
    const char* fault;
    const char* received;  // all that comes before the silence
};

class EmulatorStalls : public EmulatorServing, public ::testing::WithParamInterface<StallCase> {};

TEST_P(EmulatorStalls, KeepTheConnectionOpenAndSilent) {
    const std::string expected = GetParam().received;
    Serve({"--scales", "1", "--fault", GetParam().fault, "--ending", "cr", "--rate", "flood"});
    Connect(PortOf(1));
    ASSERT_TRUE(RunUntil([&] { return received_.size() >= expected.size(); }));
    EXPECT_FALSE(
        loop_.RunUntil([&] { return received_.size() > expected.size() || !client_.Active(); },
                       std::chrono::milliseconds(300)));
    EXPECT_EQ(received_, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EmulatorStalls,
    ::testing::Values(StallCase{"stall-after=3", "  1000.0 kg\r  1000.0 kg\r  1000.0 kg\r"},
                      StallCase{"stall-mid-line=2", "  1000.0 kg\r  1000.0 kg\r  1000"}));

TEST_F(EmulatorServing, HostileStreamsReachTheStationAndStayBounded) {
    Serve({"--scales", "3", "--fault", "1:random-bytes", "--fault", "2:no-cr", "--fault",
           "3:byte-writes", "--rate", "flood"});
    for (int scale = 1; scale <= 3; ++scale) {
        station::net::TClientSocket peer(loop_, "ClientSocket" + std::to_string(scale));
        station::test::DecoderRig rig('.');
        station::ReceiveBuffer buffer;
        std::size_t bytes = 0;
        peer.OnRead = [&](station::net::TClientSocket&, station::net::TCustomWinSocket& socket) {
            const std::string text = socket.ReadPendingText();
            bytes += text.size();
            rig.decoder.AppendReceivedData(text, static_cast<int>(text.size()), 35, buffer, 1);
        };
        peer.SetAddress("127.0.0.1");
        peer.SetPort(PortOf(scale));
        peer.SetActive(true);
        // Single-byte writes are slow by design; the others flood.
        const std::size_t enough = scale == 3 ? 5000 : 200000;
        ASSERT_TRUE(RunUntil([&] { return bytes > enough; })) << scale;
        EXPECT_LE(buffer.line.size(), station::WeightDecoder::kReceiveBufferCap) << scale;
    }
}

}  // namespace
}  // namespace emulator
