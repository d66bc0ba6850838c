#include "app/main_form.h"

#include <QFile>
#include <QGuiApplication>
#include <QMetaObject>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

#include <exception>
#include <filesystem>
#include <iostream>

#include "app/publishing_panel.h"
#include "core/reading/step_simulation.h"
#include "core/settings/ini_file.h"
#include "core/settings/publish_settings.h"
#include "core/settings/reading_settings.h"
#include "core/text/error_text.h"
#include "core/text/integer_text.h"
#include "core/text/number_text.h"
#include "core/text/time_separator.h"
#include "ui/about_box.h"
#include "ui/dialog_position.h"
#include "ui/log_memo.h"
#include "ui/outer_size.h"
#include "ui/params_dialog.h"
#include "ui/screen_text.h"

namespace station {
namespace {

constexpr QSize kNormalView{900, 320};
constexpr QSize kTechnicalView{1150, 410};
constexpr std::chrono::milliseconds kLiveLineInterval{250};

// Lamp colours: fill for the connection's state, outline blinking with the data.
const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kGreen(0, 128, 0);
const QColor kWhite(255, 255, 255);

std::array<QLabel*, kScaleCount> DisplaysOf(const ui::MainWindowControls& controls) {
    std::array<QLabel*, kScaleCount> labels{};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i] = controls.scales[i].Ldisplay;
    }
    return labels;
}

// "3.0 s": how long a line was silent, to a tenth of a second.
std::string SecondsText(std::chrono::milliseconds time) {
    return std::to_string(time.count() / 1000) + "." + std::to_string(time.count() % 1000 / 100) +
           " s";
}

std::string DescribeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

TForm1::TForm1(StationState& state, ui::Toolkit& toolkit, Clock& clock)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      state_(state),
      toolkit_(toolkit),
      clock_(clock),
      controls_(ui::BuildMainWindow(this)),
      outer_size_(new ui::OuterSize(this)),
      loop_([this](std::exception_ptr error) { ReportError(DescribeException(error)); }),
      log_(clock),
      stable_saves_(loop_, {[this](int n, const std::string& text) { SaveReading(n, text); },
                            [this](int n, StableSaves::Refusal why) { RefuseSave(n, why); },
                            [this](int n, bool waiting) { HoldSave(n, waiting); }}),
      memo_(new ui::LogMemo(controls_.Mlog, log_)),
      displays_(DisplaysOf(controls_)),
      register_(clock, DetectTimeSeparator()) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Program do monitorowania wag"));
    log_.SetView(memo_);
    for (std::size_t i = 0; i < sockets_.size(); ++i) {
        sockets_[i] =
            std::make_unique<net::TClientSocket>(loop_, "ClientSocket" + std::to_string(i + 1));
        const int n = static_cast<int>(i + 1);
        line_watches_[i] = std::make_unique<net::LineWatch>(
            loop_, net::LineWatch::Handlers{
                       [this, n](std::chrono::milliseconds silent) { EndSilentLine(n, silent); },
                       [this, n](bool first) { ReconnectLine(n, first); }});
    }
    WireHandlers();
    FormCreate();
}

TForm1::~TForm1() {
    observer_.reset();      // before the displays and connections it is told of
    log_.SetView(nullptr);  // the memo goes with the widgets
}

void TForm1::WireHandlers() {
    connect(controls_.Ilogo, &ui::Image::clicked, this,
            [this] { Guarded([this] { IlogoClick(); }); });
    connect(controls_.BBparams, &QPushButton::clicked, this,
            [this] { Guarded([this] { BBparamsClick(); }); });
    connect(controls_.Brs_input, &QPushButton::clicked, this,
            [this] { Guarded([this] { Brs_inputClick(); }); });
    connect(controls_.BBsymulup_small, &QPushButton::clicked, this,
            [this] { Guarded([this] { BBsymulup_smallClick(); }); });
    connect(controls_.BBsymuldown_small, &QPushButton::clicked, this,
            [this] { Guarded([this] { BBsymuldown_smallClick(); }); });
    connect(controls_.SBsave_comport, &QPushButton::clicked, this,
            [this] { Guarded([this] { SBsave_comportClick(); }); });
    for (const ui::ScaleBox& box : controls_.scales) {
        QPushButton* connect_button = box.BBconnect;
        connect(connect_button, &QPushButton::clicked, this,
                [this, connect_button] { Guarded([&] { BBconnect1Click(connect_button); }); });
        QPushButton* save_button = box.BBsave;
        connect(save_button, &QPushButton::clicked, this,
                [this, save_button] { Guarded([&] { BBsave1Click(save_button); }); });
    }
    using std::placeholders::_1;
    using std::placeholders::_2;
    for (const auto& socket : sockets_) {
        socket->OnConnecting = std::bind(&TForm1::ClientSocket1Connecting, this, _1, _2);
        socket->OnConnect = std::bind(&TForm1::ClientSocket1Connect, this, _1, _2);
        socket->OnDisconnect = std::bind(&TForm1::ClientSocket1Disconnect, this, _1, _2);
        socket->OnRead = std::bind(&TForm1::ClientSocket1Read, this, _1, _2);
        socket->OnError = std::bind(&TForm1::ClientSocket1Error, this, _1, _2,
                                    std::placeholders::_3, std::placeholders::_4);
    }
}

void TForm1::AttachDialogs(ui::TFparams* params, ui::TAboutBox* about) {
    params_ = params;
    about_ = about;
}

void TForm1::FormCreate() {
    if (!state_.instance_guard.Acquire(InstanceGuard::SessionTokenPath())) {
        toolkit_.ShowErrorBox(nullptr, QStringLiteral("Error"),
                              QString::fromUtf8("Program jest już uruchomiony!"));
        toolkit_.RequestTermination();
    }
    for (ScaleChannel& channel : state_.channels) {
        channel.receive_buffer.Clear();
    }
    state_.decimal_separator = DetectDecimalSeparator();
    decoder_.emplace(log_, static_cast<ReadingDisplays&>(*this), state_.decimal_separator);
    for (const ui::ScaleBox& box : controls_.scales) {
        box.Ldisplay->setText(QStringLiteral("- - - - -"));
    }
    state_.simulated_value = 0;
    controls_.Psymul_small->show();
    WarnOfMissingDataDirectory();
    LoadConnectionSettings(state_.settings, IniFile(kSettingsFileName));
    StartLineWatches();
    ApplyViewSettings();
}

// The station never makes the folder; without it the first save fails. Said at start, where an
// installer sees it, and nothing else changes.
void TForm1::WarnOfMissingDataDirectory() {
    if (!std::filesystem::is_directory(kDataDirectory)) {
        const std::string text = "no dane/ folder here: weighings cannot be saved";
        log_.LogTransmission(log_code::kFault, text, 0);
        std::cerr << "tarvelio: " << text << '\n';
    }
}

void TForm1::StartLineWatches() {
    const ReadingSettingsResult loaded = LoadReadingSettings(IniFile(kSettingsFileName));
    for (const std::string& problem : loaded.problems) {
        log_.LogTransmission(log_code::kFault, problem, 0);
    }
    state_.reading = loaded.settings;
    ApplyReadingSettings();
    for (const auto& watch : line_watches_) {
        watch->Configure({std::chrono::seconds(state_.reading.silence_seconds),
                          std::chrono::seconds(state_.reading.reconnect_seconds)});
    }
}

// Ended as a reset by the peer would end it: red lamp, "połącz" shown.
void TForm1::EndSilentLine(int scale, std::chrono::milliseconds silent) {
    log_.LogTransmission(log_code::kFault,
                         "Waga " + std::to_string(scale) + ": no data for " + SecondsText(silent) +
                             ", connection ended",
                         scale);
    ClientSocket(scale).SetActive(false);
}

// An automatic attempt: never a message box, one log line per outage.
void TForm1::ReconnectLine(int scale, bool first) {
    if (first) {
        log_.LogTransmission(log_code::kFault,
                             "Waga " + std::to_string(scale) + ": not connected, trying every " +
                                 std::to_string(state_.reading.reconnect_seconds) + " s",
                             scale);
    }
    try {
        BBconnect1Click(Box(scale).BBconnect);
    } catch (const std::exception&) {
        ShowLamp(scale, kRed);
        LineWatchOf(scale).Ended();
    }
}

void TForm1::ApplyViewSettings() {
    const bool technical = state_.settings.show_log;
    controls_.Pa_rs_log->setVisible(technical);
    outer_size_->Set(technical ? kTechnicalView : kNormalView);
    KeepOnScreen();
    WriteStatusBar();
}

// The corner stays, as the view switch promises, unless the grown window would reach past the
// screen: then it moves the least that brings it back. Only X11 lets a program place its window.
void TForm1::KeepOnScreen() {
    const QScreen* screen = this->screen();
    if (!isVisible() || screen == nullptr || QGuiApplication::platformName() != "xcb") {
        return;
    }
    const QPoint corner = frameGeometry().topLeft();
    const QPoint inside = ui::KeptInside(screen->availableGeometry(), corner, outer_size_->Get());
    if (inside != corner) {
        move(inside);
    }
}

void TForm1::WriteStatusBar() {
    for (std::size_t n = 0; n < kScaleCount; ++n) {
        controls_.StatusBar->SetPanelText(static_cast<int>(2 * n + 1),
                                          ui::ToScreenText(state_.settings.addresses[n]) +
                                              QLatin1Char(':') +
                                              QString::number(state_.settings.ports[n]));
    }
}

void TForm1::FormActivate() {
    controls_.CBscale_num->setCurrentIndex(0);
    for (const ui::ScaleBox& box : controls_.scales) {
        BBconnect1Click(box.BBconnect);
    }
    StartPublishing();
}

void TForm1::StartPublishing() {
    PublishSettingsResult loaded = LoadPublishSettings(IniFile(kSettingsFileName), HostName());
    if (!loaded.problem.empty()) {
        ReportPublishingProblem(log_, loaded.problem);
        ShowPublishingPanel(PublishingRefusedPanel(loaded.problem));
    }
    if (!loaded.settings) {
        return;
    }
    observer_ = std::make_unique<Publisher>(
        loop_, log_, std::move(*loaded.settings), kDataDirectory, clock_.Now(),
        [this](const Publisher::Status& status) { ShowPublishingPanel(PublishingPanel(status)); });
    for (int n = 1; IsScaleNumber(n); ++n) {
        observer_->ReadingShown(n, ui::FromScreenText(Box(n).Ldisplay->text()), std::nullopt);
        observer_->ConnectionShown(n, Box(n).Shape->BrushColor() == kGreen);
    }
}

void TForm1::SetReadingText(int scale, const std::string& text) {
    ShowReading(scale, text, std::nullopt);
}

void TForm1::ShowReading(int scale, const std::string& text, std::optional<bool> motion) {
    displays_.ShowReading(scale, text, motion);
    if (!IsScaleNumber(scale)) {
        return;
    }
    stable_saves_.Shown(scale, text, motion);
    if (observer_) {
        observer_->ReadingShown(scale, text, motion);
    }
}

void TForm1::ShowLamp(int scale, const QColor& colour) {
    Box(scale).Shape->SetBrushColor(colour);
    stable_saves_.ConnectionShown(scale, colour == kGreen);
    if (observer_) {
        observer_->ConnectionShown(scale, colour == kGreen);
    }
}

void TForm1::ShowPublishingPanel(const PanelContent& panel) {
    constexpr int kPanel = 8;
    controls_.StatusBar->SetPanelText(kPanel, panel.text);
    controls_.StatusBar->SetPanelToolTip(kPanel, panel.tool_tip);
}

int TForm1::ScaleNamed(const QString& name, const char* stem) {
    for (int n = 1; IsScaleNumber(n); ++n) {
        if (name == QString::fromLatin1(stem) + QString::number(n)) {
            return n;
        }
    }
    return 0;
}

const ui::ScaleBox& TForm1::Box(int scale) const {
    return controls_.scales[static_cast<std::size_t>(scale - 1)];
}

void TForm1::BBconnect1Click(const QObject* sender) {
    const int n = ScaleNamed(sender->objectName(), "BBconnect");
    if (n == 0) {
        return;
    }
    net::TClientSocket& socket = ClientSocket(n);
    const auto index = static_cast<std::size_t>(n - 1);
    socket.SetAddress(state_.settings.addresses[index]);
    socket.SetPort(state_.settings.ports[index]);
    try {
        socket.SetActive(true);
    } catch (const std::exception&) {
        // A start that fails at once shows only on the lamp.
        ShowLamp(n, kRed);
        LineWatchOf(n).Ended();
    }
}

void TForm1::ClientSocket1Connecting(net::TClientSocket& sender, net::TCustomWinSocket&) {
    if (const int n = ScaleNamed(QString::fromStdString(sender.Name()), "ClientSocket")) {
        ShowLamp(n, kYellow);
        LineWatchOf(n).Attempting();
    }
}

void TForm1::ClientSocket1Connect(net::TClientSocket& sender, net::TCustomWinSocket&) {
    if (const int n = ScaleNamed(QString::fromStdString(sender.Name()), "ClientSocket")) {
        DropCutLine(n);
        ShowLamp(n, kGreen);
        Box(n).BBconnect->hide();
        LineWatchOf(n).Connected();
    }
}

// The unfinished line of a connection that ended belongs to no line of the next one: glued to
// the first of them it would show, and save, a number that no scale sent.
void TForm1::DropCutLine(int scale) {
    ReceiveBuffer& buffer = state_.channels[static_cast<std::size_t>(scale - 1)].receive_buffer;
    if (buffer.line.empty() && !buffer.skipping_overlong_line) {
        return;
    }
    log_.LogTransmission(log_code::kFault,
                         "Waga " + std::to_string(scale) + ": " +
                             std::to_string(buffer.line.size()) +
                             " bytes of a line cut by the previous connection dropped",
                         scale);
    buffer.Clear();
}

void TForm1::ClientSocket1Disconnect(net::TClientSocket& sender, net::TCustomWinSocket&) {
    if (const int n = ScaleNamed(QString::fromStdString(sender.Name()), "ClientSocket")) {
        ShowLamp(n, kRed);
        Box(n).BBconnect->show();
        LineWatchOf(n).Ended();
    }
}

void TForm1::ClientSocket1Error(net::TClientSocket& sender, net::TCustomWinSocket&,
                                net::TErrorEvent, int& error_code) {
    error_code = 0;  // connection trouble shows on the lamp, never in words
    if (const int n = ScaleNamed(QString::fromStdString(sender.Name()), "ClientSocket")) {
        ShowLamp(n, kRed);
        Box(n).BBconnect->show();
        LineWatchOf(n).Ended();
    }
    // A broken established connection still counts as active and would make "połącz" do
    // nothing; closing it lets the operator connect again.
    if (sender.Active()) {
        sender.SetActive(false);
    }
}

void TForm1::ClientSocket1Read(net::TClientSocket& sender, net::TCustomWinSocket& socket) {
    const std::string text = socket.ReadPendingText();
    const int n = ScaleNamed(QString::fromStdString(sender.Name()), "ClientSocket");
    if (n == 0) {
        return;
    }
    ui::Shape& lamp = *Box(n).Shape;
    lamp.SetPenColor(lamp.PenColor() == kWhite ? kGreen : kWhite);
    if (!text.empty()) {
        LineWatchOf(n).DataArrived();
        ReceiveBuffer& buffer = state_.channels[static_cast<std::size_t>(n - 1)].receive_buffer;
        decoder_->AppendReceivedData(text, static_cast<int>(text.size()), kWeightLineProtocol,
                                     buffer, n);
    }
}

void TForm1::BBparamsClick() {
    if (params_ == nullptr) {
        return;
    }
    // The page "Odczyt" follows the scales while it is open.
    QTimer live;
    if (params_->TechnicalView()) {
        ShowLiveLines();
        connect(&live, &QTimer::timeout, this, [this] { ShowLiveLines(); });
        live.start(kLiveLineInterval);
    }
    if (!toolkit_.ShowModal(*params_)) {
        return;
    }
    live.stop();
    for (const auto& socket : sockets_) {
        socket->SetActive(false);
    }
    ConnectionSettings& settings = state_.settings;
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        const int scale = static_cast<int>(i + 1);
        settings.addresses[i] = ui::FromScreenText(params_->AddressText(scale));
        // The dialog let OK through only with four usable ports.
        settings.ports[i] = ParseInteger(ui::FromScreenText(params_->PortText(scale))).value_or(0);
    }
    WriteStatusBar();
    settings.show_log = params_->ShowLogChecked();
    controls_.Pa_rs_log->setVisible(settings.show_log);
    IniFile file(kSettingsFileName);
    SaveConnectionSettings(settings, file);  // a failure ends the sequence here
    if (params_->TechnicalView()) {
        ApplyReadingPage(file);
    }
    ApplyViewSettings();
    for (const ui::ScaleBox& box : controls_.scales) {
        BBconnect1Click(box.BBconnect);
    }
}

// The technical view's page "Odczyt": its keys alone are written, and take effect at once.
void TForm1::ApplyReadingPage(IniFile& file) {
    params_->TSreading->Chosen(state_.reading);
    StoreFormatSettings(file, state_.reading);
    StoreSaveSettings(file, state_.reading);
    ApplyReadingSettings();
}

// What the settings of section "Odczyt" in force ask of the decoder and the saves.
void TForm1::ApplyReadingSettings() {
    stable_saves_.Configure(state_.reading);
    for (int n = 1; IsScaleNumber(n); ++n) {
        decoder_->SetFormat(n, MakeFormat(state_.reading, n));
    }
}

// The scale's last line in the transmission log ("hh-mm-ss.zzz N << line"), or "".
std::string TForm1::LastReceivedLine(int scale) const {
    const std::string tag = std::to_string(scale) + "  << ";  // the number, a blank, the tag
    constexpr std::size_t kTimeLength = 13;
    for (std::size_t i = log_.LineCount(); i-- > 0;) {
        const std::string_view line = log_.Line(i);
        if (line.substr(kTimeLength, tag.size()) == tag) {
            return std::string(line.substr(kTimeLength + tag.size()));
        }
    }
    return {};
}

void TForm1::ShowLiveLines() {
    for (int n = 1; IsScaleNumber(n); ++n) {
        params_->TSreading->SetLiveLine(n, LastReceivedLine(n),
                                        ui::FromScreenText(Box(n).Ldisplay->text()));
    }
}

void TForm1::Brs_inputClick() {
    const std::string text = ui::FromScreenText(controls_.Ers_input->text());
    if (text.empty()) {
        return;
    }
    const std::string line = text + "\r\n";
    const int scale = controls_.CBscale_num->currentIndex() + 1;
    // A buffer of the simulator's own: a live scale's unfinished line is not glued to it.
    ReceiveBuffer buffer;
    decoder_->AppendReceivedData(line, static_cast<int>(line.size()), kWeightLineProtocol, buffer,
                                 scale);
}

void TForm1::BBsymulup_smallClick() {
    Step(kSimulationStep);
}

void TForm1::BBsymuldown_smallClick() {
    Step(-kSimulationStep);
}

void TForm1::Step(double by) {
    state_.simulated_value += by;
    decoder_->DecodeWeightLine(SimulatedLine(state_.simulated_value, state_.decimal_separator),
                               kWeightLineProtocol, 1);
}

void TForm1::SBsave_comportClick() {
    const std::optional<QString> chosen =
        toolkit_.SaveFileName(this, QStringLiteral("Zapisz plik transmisji RS232"),
                              QStringLiteral("rs232_log.txt"), QStringLiteral("txt (txt)"));
    if (chosen) {
        log_.SaveToFile(QFile::encodeName(*chosen).toStdString());
    }
}

void TForm1::BBsave1Click(const QObject* sender) {
    const int n = ScaleNamed(sender->objectName(), "BBsave");
    if (n == 0) {
        return;
    }
    if (stable_saves_.IsStable(n)) {
        stable_saves_.SaveClicked(n);
    } else {
        SaveReading(n, ui::FromScreenText(Box(n).Ldisplay->text()));
    }
}

void TForm1::SaveReading(int scale, const std::string& text) {
    register_.SaveWeighing(scale, text);
    if (observer_) {
        observer_->WeighingSaved();
    }
}

void TForm1::HoldSave(int scale, bool waiting) {
    QPushButton* button = Box(scale).BBsave;
    if (waiting && focusWidget() == button) {
        setFocus();  // not on to the next scale's save button, where a key would press it
    }
    button->setEnabled(!waiting);
}

void TForm1::RefuseSave(int scale, StableSaves::Refusal why) {
    const QString text = why == StableSaves::Refusal::kNotStable
                             ? QString::fromUtf8(
                                   "Waga %1: brak stabilnego odczytu - ważenie nie "
                                   "zostało zapisane.")
                             : QString::fromUtf8(
                                   "Waga %1: brak poprawnego odczytu - ważenie nie "
                                   "zostało zapisane.");
    toolkit_.ShowErrorBox(this, QString::fromLatin1(kApplicationTitle), text.arg(scale));
}

void TForm1::IlogoClick() {
    if (about_ != nullptr) {
        toolkit_.ShowModal(*about_);
    }
}

void TForm1::ReportError(const std::string& message) {
    toolkit_.ShowErrorBox(this, QString::fromLatin1(kApplicationTitle),
                          ui::ToScreenText(ErrorReportText(message)));
}

void TForm1::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& error) {
        ReportError(error.what());
    }
}

void TForm1::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (shown_before_) {
        return;
    }
    shown_before_ = true;
    CentreOnScreen();
    // Activation follows the first showing, once the loop has put the window up.
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { FormActivate(); }); }, Qt::QueuedConnection);
}

void TForm1::CentreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        move(ui::CentredIn(screen->availableGeometry(), outer_size_->Get()));
    }
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ui::PlaceEdgeControls(controls_, event->size());
}

}  // namespace station
