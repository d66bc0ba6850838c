#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "common/clock.h"
#include "core/reading/frame_cadence.h"
#include "core/reading/receive_buffer.h"
#include "core/reading/stable_saves.h"
#include "core/reading/transmission_log.h"
#include "core/reading/weight_decoder.h"
#include "core/register/weighing_register.h"
#include "core/settings/connection_settings.h"
#include "core/settings/reading_settings.h"
#include "net/client_socket.h"
#include "net/line_watch.h"
#include "service/publisher.h"
#include "service/register_signing.h"
#include "service/station_observer.h"

namespace station {

// Where the station keeps its files; as installed, below the working directory.
struct StationFiles {
    std::string data_directory = kDataDirectory;  // the register, publishing's own files
    std::string settings = kSettingsFileName;
};

// The station without its window: the four scales' connections with their line watches, receive
// buffers, formats, shown readings, lamps and stable saves; the settings in force, the
// simulators' state, the transmission log, the register and publishing. Whatever follows it (the
// window, publishing) is a StationObserver and hears of every change; it never asks a widget what
// the station shows. Everything runs on the loop's thread; the connections' events are handled
// here, each bound with its scale.
class StationModel final : private ReadingDisplays {
public:
    StationModel(EventLoop& loop, Clock& clock, StationFiles files = {});
    ~StationModel() override;
    StationModel(const StationModel&) = delete;
    StationModel& operator=(const StationModel&) = delete;

    void AddObserver(StationObserver& observer);
    void RemoveObserver(StationObserver& observer);

    // Start-up: receive buffers emptied, the decimal separator found, the connection and
    // reading settings loaded (their problems logged), the line watches set.
    void Start();
    // OK in "Ustawienia": every connection ended, `connections` kept and written to the settings
    // file, then `readings`, when given, kept, their keys written and in force at once (formats,
    // save modes, waits); every scale connected again, 1 to 4. A file that cannot be written
    // throws, the scales left closed.
    void ApplySettings(const ConnectionSettings& connections,
                       const std::optional<ReadingSettings>& readings);
    const ConnectionSettings& Connections() const { return connections_; }
    const ReadingSettings& Readings() const { return readings_; }

    // "połącz" of a scale, and every automatic attempt: a start that fails at once shows only
    // on the lamp.
    void Connect(int scale);
    // Ends every connection, as a settings change does before it connects them again.
    void Disconnect();
    // "Zapisz ważenie": the reading shown goes to the register, or, for a scale whose saves
    // take only a stable reading, waits for one or is refused. Throws what the register throws.
    void Save(int scale);
    // The line simulator: `text` as a line of scale `scale` (any number), on a buffer of its own.
    void SimulateLine(int scale, const std::string& text);
    // The step simulator: scale 1's simulated reading moved by `by`.
    void Step(double by);

    // Publishing as section "Publikacja" asks, from now on; `on_status` hears how it fares.
    // Nothing once it started; else publishing is off, with why when the section has keys.
    std::optional<PublishingOff> StartPublishing(Publisher::StatusSink on_status);
    // Signing as section "Podpisy" asks, from now on; `on_status` hears each check of the
    // month's chain (register_signing.h). Nothing happens when it is off.
    void StartSigning(RegisterSigning::StatusSink on_status);
    // The signing key's fingerprint; empty while nothing is signed.
    std::string SigningKeyFingerprint() const {
        return signing_ ? signing_->KeyFingerprint() : std::string();
    }

    const Reading& Shown(int scale) const { return Of(scale).shown; }
    Lamp LampOf(int scale) const { return Of(scale).lamp; }
    // The scale's last line, as received; "" before the first.
    const std::string& LastLine(int scale) const { return Of(scale).last_line; }
    // The scale's last bytes as received (at most kRecentBytes), for finding its preset.
    const std::string& RecentBytes(int scale) const { return Of(scale).recent; }
    static constexpr std::size_t kRecentBytes = 1024;
    net::TClientSocket& ClientSocket(int scale) { return *Of(scale).socket; }
    TransmissionLog& Log() { return log_; }
    const TransmissionLog& Log() const { return log_; }
    std::uint64_t LinesDecoded() const { return decoder_ ? decoder_->LineCount() : 0; }
    // The scale's line not yet ended, 8-bit, as received.
    const ReceiveBuffer& Received(int scale) const { return Of(scale).received; }
    char DecimalSeparator() const { return decimal_separator_; }
    double SimulatedValue() const { return simulated_value_; }

private:
    // A line that sent nothing for this long has ended its frame: within a frame, bytes follow
    // each other closely (one takes 8 ms at 1200 baud).
    static constexpr std::chrono::milliseconds kQuietLine{100};

    struct Scale {
        std::unique_ptr<net::TClientSocket> socket;
        std::unique_ptr<net::LineWatch> watch;
        Reading shown;
        bool shown_untold = false;  // shown while a read was decoded, told once it is
        Lamp lamp = Lamp::kRed;
        bool outline_white = false;
        std::string last_line;
        std::string recent;
        ReceiveBuffer received;
        FrameCadence cadence;          // of a scale read by a format
        std::unique_ptr<Timer> quiet;  // while its frame under way awaits the line's quiet
    };

    // The connection's events, as the client component names them.
    void ClientSocket1Connecting(int scale);
    void ClientSocket1Connect(int scale);
    void ClientSocket1Disconnect(int scale);
    void ClientSocket1Error(int scale, net::TClientSocket& sender, int& error_code);
    void ClientSocket1Read(int scale, net::TCustomWinSocket& socket);

    void ShowReading(int scale, const Reading& reading) override;
    void LineDecoded(int scale, std::string_view line) override;
    void ShowLamp(int scale, Lamp lamp);
    void OfferConnect(int scale, bool offered);
    void Ended(int scale);
    void DropCutLine(int scale);
    void LineFellQuiet(int scale);
    void EndSilentLine(int scale, std::chrono::milliseconds silent);
    void ReconnectLine(int scale, bool first);
    void SaveReading(int scale, const Reading& reading);
    void ApplyReadingSettings();
    // Tells the observers as they were when it began; one added or removed meanwhile counts
    // from the next call. Runs for every line a scale sends, so it neither copies the list nor
    // wraps `tell`.
    template <typename Tell>
    void Notify(const Tell& tell) {
        const std::shared_ptr<const std::vector<StationObserver*>> observers = observers_;
        for (StationObserver* observer : *observers) {
            tell(*observer);
        }
    }
    Scale& Of(int scale) { return scales_.at(static_cast<std::size_t>(scale - 1)); }
    const Scale& Of(int scale) const { return scales_.at(static_cast<std::size_t>(scale - 1)); }

    EventLoop& loop_;
    Clock& clock_;
    StationFiles files_;
    ConnectionSettings connections_;
    ReadingSettings readings_;
    char decimal_separator_ = '\0';
    double simulated_value_ = 0;  // the step simulator's, on scale 1
    TransmissionLog log_;
    WeighingRegister register_;
    std::unique_ptr<RegisterSigning> signing_;  // with signing on
    StableSaves stable_saves_;
    std::optional<WeightDecoder> decoder_;  // made once the decimal separator is known
    std::array<Scale, kScaleCount> scales_;
    bool decoding_read_ = false;
    std::shared_ptr<const std::vector<StationObserver*>> observers_ =
        std::make_shared<const std::vector<StationObserver*>>();  // replaced whole on a change
    std::unique_ptr<Publisher> publisher_;  // while publishing is on; an observer too
};

}  // namespace station
