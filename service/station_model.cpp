#include "service/station_model.h"

#include <filesystem>
#include <iostream>
#include <utility>

#include "broker/publish_settings.h"
#include "common/ini_file.h"
#include "core/reading/step_simulation.h"
#include "core/settings/reading_settings.h"
#include "core/text/number_text.h"
#include "core/text/time_separator.h"

namespace station {
namespace {

// "3.0 s": how long a line was silent, to a tenth of a second.
std::string SecondsText(std::chrono::milliseconds time) {
    return std::to_string(time.count() / 1000) + "." + std::to_string(time.count() % 1000 / 100) +
           " s";
}

}  // namespace

StationModel::StationModel(EventLoop& loop, Clock& clock, StationFiles files)
    : loop_(loop),
      clock_(clock),
      files_(std::move(files)),
      log_(clock),
      register_(clock, DetectTimeSeparator(), files_.data_directory),
      stable_saves_(loop, {[this](int n, const Reading& reading) { SaveReading(n, reading); },
                           [this](int n, StableSaves::Refusal why) {
                               Notify([&](StationObserver& o) { o.SaveRefused(n, why); });
                           },
                           [this](int n, bool waiting) {
                               Notify([&](StationObserver& o) { o.SaveWaiting(n, waiting); });
                           }}) {
    for (int n = 1; IsScaleNumber(n); ++n) {
        Scale& scale = Of(n);
        scale.socket =
            std::make_unique<net::TClientSocket>(loop, "ClientSocket" + std::to_string(n));
        scale.socket->OnConnecting = [this, n](auto&, auto&) { ClientSocket1Connecting(n); };
        scale.socket->OnConnect = [this, n](auto&, auto&) { ClientSocket1Connect(n); };
        scale.socket->OnDisconnect = [this, n](auto&, auto&) { ClientSocket1Disconnect(n); };
        scale.socket->OnError = [this, n](net::TClientSocket& sender, auto&, net::TErrorEvent,
                                          int& code) { ClientSocket1Error(n, sender, code); };
        scale.socket->OnRead = [this, n](auto&, net::TCustomWinSocket& socket) {
            ClientSocket1Read(n, socket);
        };
        scale.watch = std::make_unique<net::LineWatch>(
            loop, net::LineWatch::Handlers{
                      [this, n](std::chrono::milliseconds silent) { EndSilentLine(n, silent); },
                      [this, n](bool first) { ReconnectLine(n, first); }});
    }
}

// Publishing goes first, saying every scale is no longer connected while the sockets still
// stand; then the sockets, whose handlers use everything else.
StationModel::~StationModel() {
    if (publisher_) {
        RemoveObserver(*publisher_);
        publisher_.reset();
    }
    for (Scale& scale : scales_) {
        scale.socket.reset();
    }
}

void StationModel::AddObserver(StationObserver& observer) {
    auto observers = std::make_shared<std::vector<StationObserver*>>(*observers_);
    observers->push_back(&observer);
    observers_ = std::move(observers);
}

void StationModel::RemoveObserver(StationObserver& observer) {
    auto observers = std::make_shared<std::vector<StationObserver*>>(*observers_);
    std::erase(*observers, &observer);
    observers_ = std::move(observers);
}

void StationModel::Start() {
    for (Scale& scale : scales_) {
        scale.received.Clear();
    }
    decimal_separator_ = DetectDecimalSeparator();
    decoder_.emplace(log_, static_cast<ReadingDisplays&>(*this), decimal_separator_, loop_);
    simulated_value_ = 0;
    // The station never makes the folder; without it the first save fails. Said at start,
    // where an installer sees it, and nothing else changes.
    if (!std::filesystem::is_directory(files_.data_directory)) {
        const std::string text =
            "no " + files_.data_directory + "/ folder here: weighings cannot be saved";
        log_.LogTransmission(log_code::kFault, text, 0);
        std::cerr << "tarvelio: " << text << '\n';
    }
    LoadConnectionSettings(connections_, IniFile(files_.settings));
    const ReadingSettingsResult loaded = LoadReadingSettings(IniFile(files_.settings));
    for (const std::string& problem : loaded.problems) {
        log_.LogTransmission(log_code::kFault, problem, 0);
    }
    readings_ = loaded.settings;
    ApplyReadingSettings();
    for (Scale& scale : scales_) {
        scale.watch->Configure({std::chrono::seconds(readings_.silence_seconds),
                                std::chrono::seconds(readings_.reconnect_seconds)});
    }
}

void StationModel::ApplySettings(const ConnectionSettings& connections,
                                 const std::optional<ReadingSettings>& readings) {
    Disconnect();
    connections_ = connections;
    IniFile file(files_.settings);
    SaveConnectionSettings(connections_, file);  // a failure ends the sequence here
    if (readings) {
        readings_ = *readings;
        StoreFormatSettings(file, readings_);
        StoreSaveSettings(file, readings_);
        ApplyReadingSettings();
    }
    for (int n = 1; IsScaleNumber(n); ++n) {
        Connect(n);
    }
}

void StationModel::ApplyReadingSettings() {
    stable_saves_.Configure(readings_);
    for (int n = 1; IsScaleNumber(n); ++n) {
        decoder_->SetFormat(n, MakeFormat(readings_, n));
        Of(n).cadence.Reset();
    }
}

std::optional<PublishingOff> StationModel::StartPublishing(Publisher::StatusSink on_status) {
    PublishSettingsResult loaded = LoadPublishSettings(IniFile(files_.settings), HostName());
    if (const auto* off = std::get_if<PublishingOff>(&loaded)) {
        if (!off->why.empty()) {
            ReportPublishingProblem(log_, off->why);
        }
        return *off;
    }
    publisher_ =
        std::make_unique<Publisher>(loop_, log_, std::move(std::get<PublishSettings>(loaded)),
                                    files_.data_directory, clock_.Local(), std::move(on_status));
    for (int n = 1; IsScaleNumber(n); ++n) {
        publisher_->ReadingShown(n, Of(n).shown);
        publisher_->LampShown(n, Of(n).lamp);
    }
    AddObserver(*publisher_);
    return std::nullopt;
}

void StationModel::StartSigning(RegisterSigning::StatusSink on_status) {
    signing_ = RegisterSigning::Start(IniFile(files_.settings), files_.data_directory, log_,
                                      std::move(on_status));
    register_.SignWith(signing_ ? &signing_->Signer() : nullptr);
    if (signing_) {
        const LocalTime now = clock_.Local();
        signing_->Check(*Month::Of(now.year, now.month));
    }
}

void StationModel::Connect(int scale) {
    net::TClientSocket& socket = ClientSocket(scale);
    const auto index = static_cast<std::size_t>(scale - 1);
    socket.SetAddress(connections_.addresses[index]);
    socket.SetPort(connections_.ports[index]);
    try {
        socket.SetActive(true);
    } catch (const std::exception&) {
        ShowLamp(scale, Lamp::kRed);
        Of(scale).watch->Ended();
    }
}

void StationModel::Disconnect() {
    for (Scale& scale : scales_) {
        scale.socket->SetActive(false);
    }
}

void StationModel::ClientSocket1Connecting(int scale) {
    ShowLamp(scale, Lamp::kYellow);
    Of(scale).watch->Attempting();
}

void StationModel::ClientSocket1Connect(int scale) {
    DropCutLine(scale);
    Of(scale).cadence.Reset();
    ShowLamp(scale, Lamp::kGreen);
    OfferConnect(scale, false);
    Of(scale).watch->Connected();
}

void StationModel::ClientSocket1Disconnect(int scale) {
    Ended(scale);
}

void StationModel::ClientSocket1Error(int scale, net::TClientSocket& sender, int& error_code) {
    error_code = 0;  // connection trouble shows on the lamp, never in words
    Ended(scale);
    // A broken established connection still counts as active and would make "połącz" do
    // nothing; closing it lets the operator connect again.
    if (sender.Active()) {
        sender.SetActive(false);
    }
}

void StationModel::Ended(int scale) {
    ShowLamp(scale, Lamp::kRed);
    OfferConnect(scale, true);
    Of(scale).watch->Ended();
}

void StationModel::ClientSocket1Read(int scale, net::TCustomWinSocket& socket) {
    const std::string text = socket.ReadPendingText();
    Scale& entry = Of(scale);
    entry.outline_white = !entry.outline_white;
    Notify([&](StationObserver& o) { o.OutlineShown(scale, entry.outline_white); });
    if (!text.empty()) {
        entry.recent.append(text);
        if (entry.recent.size() > kRecentBytes) {
            entry.recent.erase(0, entry.recent.size() - kRecentBytes);
        }
        entry.watch->DataArrived();
        // A read brings many lines in a flood and no frame is drawn between them: the observers
        // are told the last reading once, while the saves judge every line.
        decoding_read_ = true;
        const std::uint64_t lines_before = decoder_->LineCount();
        decoder_->AppendReceivedData(text, static_cast<int>(text.size()), kWeightLineProtocol,
                                     entry.received, scale);
        decoding_read_ = false;
        // Only a format's frames are timed: the standard rule's lines are the station's own.
        if (decoder_->HasFormat(scale)) {
            if (decoder_->LineCount() != lines_before) {
                entry.cadence.FrameRead(loop_.Now());
            } else if (entry.cadence.Stale(loop_.Now()) && !entry.shown.no_frame) {
                Reading stale = Reading::Of(Reading::Kind::kNoWeight);
                stale.unit = entry.shown.unit;
                stale.no_frame = true;
                ShowReading(scale, stale);
            }
            entry.quiet =
                decoder_->AwaitsQuiet(scale, entry.received)
                    ? loop_.StartTimer(kQuietLine, [this, scale] { LineFellQuiet(scale); })
                    : nullptr;
        }
        if (std::exchange(entry.shown_untold, false)) {
            Notify([&](StationObserver& o) { o.ReadingShown(scale, entry.shown); });
        }
    }
}

void StationModel::LineFellQuiet(int scale) {
    Scale& entry = Of(scale);
    const std::uint64_t lines_before = decoder_->LineCount();
    decoder_->LineQuiet(scale, entry.received);
    if (decoder_->LineCount() != lines_before) {
        entry.cadence.FrameRead(loop_.Now());
    }
    entry.quiet.reset();
}

// The unfinished line of a connection that ended belongs to no line of the next one: glued to
// the first of them it would show, and save, a number that no scale sent.
void StationModel::DropCutLine(int scale) {
    ReceiveBuffer& buffer = Of(scale).received;
    // A line feed that begins the next frame (of a block, of lf-range) is no line cut.
    const bool nothing = buffer.line.find_first_not_of('\n') == std::string::npos;
    if ((nothing || buffer.frame_read) && !buffer.skipping_overlong_line) {
        buffer.Clear();  // a frame read already was not cut
        return;
    }
    log_.LogTransmission(log_code::kFault,
                         "Waga " + std::to_string(scale) + ": " +
                             std::to_string(buffer.line.size()) +
                             " bytes of a line cut by the previous connection dropped",
                         scale);
    buffer.Clear();
}

// Ended as a reset by the peer would end it: red lamp, "połącz" offered.
void StationModel::EndSilentLine(int scale, std::chrono::milliseconds silent) {
    log_.LogTransmission(log_code::kFault,
                         "Waga " + std::to_string(scale) + ": no data for " + SecondsText(silent) +
                             ", connection ended",
                         scale);
    ClientSocket(scale).SetActive(false);
}

// An automatic attempt: never a message box, one log line per outage.
void StationModel::ReconnectLine(int scale, bool first) {
    if (first) {
        log_.LogTransmission(log_code::kFault,
                             "Waga " + std::to_string(scale) + ": not connected, trying every " +
                                 std::to_string(readings_.reconnect_seconds) + " s",
                             scale);
    }
    Connect(scale);
}

void StationModel::ShowReading(int scale, const Reading& reading) {
    if (!IsScaleNumber(scale)) {
        return;
    }
    Of(scale).shown = reading;
    stable_saves_.Shown(scale, reading, Of(scale).last_line);
    if (decoding_read_) {
        Of(scale).shown_untold = true;
        return;
    }
    Notify([&](StationObserver& o) { o.ReadingShown(scale, reading); });
}

void StationModel::LineDecoded(int scale, std::string_view line) {
    if (IsScaleNumber(scale)) {
        Of(scale).last_line = line;
    }
}

void StationModel::ShowLamp(int scale, Lamp lamp) {
    Of(scale).lamp = lamp;
    stable_saves_.ConnectionShown(scale, lamp == Lamp::kGreen);
    Notify([&](StationObserver& o) { o.LampShown(scale, lamp); });
}

void StationModel::OfferConnect(int scale, bool offered) {
    Notify([&](StationObserver& o) { o.ConnectOffered(scale, offered); });
}

void StationModel::Save(int scale) {
    if (stable_saves_.IsStable(scale)) {
        stable_saves_.SaveClicked(scale);
    } else {
        SaveReading(scale, Shown(scale));
    }
}

void StationModel::SaveReading(int scale, const Reading& reading) {
    const LocalTime now = clock_.Local();
    register_.SaveWeighing(scale, reading.Text(), reading.unit);
    if (signing_) {
        signing_->Check(*Month::Of(now.year, now.month));
    }
    Notify([](StationObserver& o) { o.WeighingSaved(); });
}

void StationModel::SimulateLine(int scale, const std::string& text) {
    if (text.empty()) {
        return;
    }
    const std::string line = text + "\r\n";
    // A buffer of the simulator's own: a live scale's unfinished line is not glued to it.
    ReceiveBuffer buffer;
    decoder_->AppendReceivedData(line, static_cast<int>(line.size()), kWeightLineProtocol, buffer,
                                 scale);
}

void StationModel::Step(double by) {
    simulated_value_ += by;
    decoder_->DecodeWeightLine(SimulatedLine(simulated_value_, decimal_separator_),
                               kWeightLineProtocol, 1);
}

}  // namespace station
