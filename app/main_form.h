#pragma once

// The station's main window and its controller.
//
// TForm1 owns the controls (built by ui::BuildMainWindow), the four scale connections
// ClientSocket1 to ClientSocket4 and the station's handlers. The logic they run lives in core/
// (decoding, log, register, settings, state) and net/ (connections) and reaches Qt only through
// this window and ui::Toolkit. Data flows: connection -> ClientSocket1Read -> WeightDecoder
// (framing, log, decoding by the standard rule or the scale's format) -> DisplayLabels;
// "Zapisz ważenie" -> WeighingRegister, through StableSaves for a scale whose saves take only
// a stable reading. Each scale's
// net::LineWatch sees its connection's events and, when the settings ask for it, ends a line
// that fell silent and connects an ended one again. When the settings turn publishing on, the
// window tells the Publisher (service/) of each display's text, each lamp and each save through
// one StationObserver, and status-bar panel 8 shows how publishing fares. docs/ARCHITECTURE.md
// draws the whole picture.
//
// One handler serves all four scales; it finds its scale by the sender's exact name. Every
// handler runs on the GUI thread, and an exception that leaves it (from a click through
// Guarded(), from a connection event through the event loop) ends in the general error report;
// the station goes on. StationState is the process's one run-time state; the window reads and
// writes it but does not own it.

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/clock.h"
#include "core/reading/stable_saves.h"
#include "core/reading/transmission_log.h"
#include "core/reading/weight_decoder.h"
#include "core/register/weighing_register.h"
#include "core/settings/ini_file.h"
#include "core/station_state.h"
#include "net/client_socket.h"
#include "net/line_watch.h"
#include "service/publisher.h"
#include "service/station_observer.h"
#include "ui/display_labels.h"
#include "ui/main_window_layout.h"
#include "ui/qt_event_loop.h"
#include "ui/toolkit.h"

namespace station::ui {
class LogMemo;
class OuterSize;
class TAboutBox;
class TFparams;
}  // namespace station::ui

namespace station {

struct PanelContent;

inline constexpr const char* kApplicationTitle = "Tarvelio";

class TForm1 : public QWidget, private ReadingDisplays {
    Q_OBJECT

public:
    // Runs the start-up sequence. When another copy is running it has said so and asked the
    // program to end before this returns.
    TForm1(StationState& state, ui::Toolkit& toolkit, Clock& clock);
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The two dialogs, created after this window.
    void AttachDialogs(ui::TFparams* params, ui::TAboutBox* about);

    // Log panel, window size and status bar from the state's settings.
    void ApplyViewSettings();

    // The general error report for an 8-bit message.
    void ReportError(const std::string& message);

    const ui::MainWindowControls& Controls() const { return controls_; }
    net::TClientSocket& ClientSocket(int scale) {
        return *sockets_.at(static_cast<std::size_t>(scale - 1));
    }
    const TransmissionLog& Log() const { return log_; }
    std::uint64_t LinesDecoded() const { return decoder_ ? decoder_->LineCount() : 0; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void IlogoClick();
    void BBconnect1Click(const QObject* sender);
    void BBsave1Click(const QObject* sender);
    void BBparamsClick();
    void Brs_inputClick();
    void BBsymulup_smallClick();
    void BBsymuldown_smallClick();
    void Step(double by);
    void SBsave_comportClick();
    void WriteStatusBar();
    void ClientSocket1Connecting(net::TClientSocket& sender, net::TCustomWinSocket& socket);
    void ClientSocket1Connect(net::TClientSocket& sender, net::TCustomWinSocket& socket);
    void ClientSocket1Disconnect(net::TClientSocket& sender, net::TCustomWinSocket& socket);
    void ClientSocket1Error(net::TClientSocket& sender, net::TCustomWinSocket& socket,
                            net::TErrorEvent error_event, int& error_code);
    void ClientSocket1Read(net::TClientSocket& sender, net::TCustomWinSocket& socket);

    void DropCutLine(int scale);
    void WireHandlers();
    void WarnOfMissingDataDirectory();
    void StartLineWatches();
    void EndSilentLine(int scale, std::chrono::milliseconds silent);
    void ReconnectLine(int scale, bool first);
    net::LineWatch& LineWatchOf(int scale) {
        return *line_watches_.at(static_cast<std::size_t>(scale - 1));
    }
    // What the decoder shows, on the screen and to the observer.
    void SetReadingText(int scale, const std::string& text) override;
    void ShowReading(int scale, const std::string& text, std::optional<bool> motion) override;
    void ShowLamp(int scale, const QColor& colour);
    void SaveReading(int scale, const std::string& text);
    void HoldSave(int scale, bool waiting);
    void RefuseSave(int scale, StableSaves::Refusal why);
    void ApplyReadingPage(IniFile& file);
    void ApplyReadingSettings();
    std::string LastReceivedLine(int scale) const;
    void ShowLiveLines();
    void StartPublishing();
    void ShowPublishingPanel(const PanelContent& panel);
    // The scale whose control is named `stem` followed by its number, or 0 for none.
    static int ScaleNamed(const QString& name, const char* stem);
    const ui::ScaleBox& Box(int scale) const;
    void Guarded(const std::function<void()>& handler);
    void CentreOnScreen();
    void KeepOnScreen();

    StationState& state_;
    ui::Toolkit& toolkit_;
    Clock& clock_;
    ui::MainWindowControls controls_;
    ui::OuterSize* outer_size_;
    ui::QtEventLoop loop_;  // outlives the connections below
    TransmissionLog log_;
    StableSaves stable_saves_;
    ui::LogMemo* memo_;
    ui::DisplayLabels displays_;
    std::optional<WeightDecoder> decoder_;  // made once the decimal separator is known
    WeighingRegister register_;
    std::array<std::unique_ptr<net::TClientSocket>, kScaleCount> sockets_;
    std::array<std::unique_ptr<net::LineWatch>, kScaleCount> line_watches_;
    std::unique_ptr<StationObserver> observer_;  // the publisher, while publishing is on
    ui::TFparams* params_ = nullptr;
    ui::TAboutBox* about_ = nullptr;
    bool shown_before_ = false;
};

}  // namespace station
