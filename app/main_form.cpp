#include "app/main_form.h"

#include <QFile>
#include <QMetaObject>
#include <QResizeEvent>
#include <QTimer>

#include <exception>
#include <optional>

#include "app/publishing_panel.h"
#include "common/integer_text.h"
#include "core/reading/step_simulation.h"
#include "core/settings/reading_settings.h"
#include "core/text/error_text.h"
#include "ui/about_box.h"
#include "ui/log_memo.h"
#include "ui/outer_size.h"
#include "ui/params_dialog.h"
#include "ui/screen_text.h"

namespace station {
namespace {

constexpr QSize kNormalView{900, 320};
constexpr QSize kTechnicalView{1150, 410};
constexpr std::chrono::milliseconds kLiveLineInterval{250};
constexpr int kPublishingPanel = 8;
constexpr int kSigningPanelWidth = 290;

// Lamp fills in Lamp's order (red, yellow, green); outlines blink white and green with data.
const QColor kGreen(0, 128, 0);
const std::array<QColor, 3> kLampColours{QColor(255, 0, 0), QColor(255, 255, 0), kGreen};
const QColor kWhite(255, 255, 255);

// Each scale's reading display, or the unit label beside it.
std::array<QLabel*, kScaleCount> LabelsOf(const ui::MainWindowControls& controls,
                                          QLabel* ui::ScaleBox::*label) {
    std::array<QLabel*, kScaleCount> labels{};
    for (std::size_t i = 0; i < labels.size(); ++i) {
        labels[i] = controls.scales[i].*label;
    }
    return labels;
}

std::string DescribeException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return e.what();
    }
}

}  // namespace

TForm1::TForm1(ui::Toolkit& toolkit, Clock& clock, StationFiles files)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      toolkit_(toolkit),
      controls_(ui::BuildMainWindow(this)),
      outer_size_(new ui::OuterSize(this)),
      loop_([this](std::exception_ptr error) { ReportError(DescribeException(error)); }),
      model_(loop_, clock, std::move(files)),
      memo_(new ui::LogMemo(controls_.Mlog, model_.Log())),
      displays_(LabelsOf(controls_, &ui::ScaleBox::Ldisplay),
                LabelsOf(controls_, &ui::ScaleBox::Label)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Program do monitorowania wag"));
    model_.Log().SetView(memo_);
    model_.AddObserver(*this);
    WireHandlers();
    FormCreate();
}

TForm1::~TForm1() {
    model_.RemoveObserver(*this);
    model_.Log().SetView(nullptr);  // the memo goes with the widgets
}

// Each control's handler is bound with its scale here, once.
void TForm1::WireHandlers() {
    const auto bind = [this](QPushButton* button, std::function<void()> handler) {
        connect(button, &QPushButton::clicked, this,
                [this, handler = std::move(handler)] { Guarded(handler); });
    };
    connect(controls_.Ilogo, &ui::Image::clicked, this,
            [this] { Guarded([this] { IlogoClick(); }); });
    bind(controls_.BBparams, [this] { BBparamsClick(); });
    bind(controls_.Brs_input, [this] { Brs_inputClick(); });
    bind(controls_.BBsymulup_small, [this] { BBsymulup_smallClick(); });
    bind(controls_.BBsymuldown_small, [this] { BBsymuldown_smallClick(); });
    bind(controls_.SBsave_comport, [this] { SBsave_comportClick(); });
    for (int n = 1; IsScaleNumber(n); ++n) {
        bind(Box(n).BBconnect, [this, n] { BBconnect1Click(n); });
        bind(Box(n).BBsave, [this, n] { BBsave1Click(n); });
    }
}

void TForm1::AttachDialogs(ui::TFparams* params, ui::TAboutBox* about) {
    params_ = params;
    about_ = about;
}

void TForm1::FormCreate() {
    model_.Start();
    for (int n = 1; IsScaleNumber(n); ++n) {
        displays_.ShowReading(n, model_.Shown(n));
    }
    controls_.Psymul_small->show();
    ApplyViewSettings(model_.Connections());
}

void TForm1::ApplyViewSettings(const ConnectionSettings& settings) {
    const bool technical = settings.show_log;
    controls_.Pa_rs_log->setVisible(technical);
    outer_size_->Set(technical ? kTechnicalView : kNormalView);
    WriteStatusBar(settings);
}

void TForm1::WriteStatusBar(const ConnectionSettings& settings) {
    for (std::size_t n = 0; n < kScaleCount; ++n) {
        controls_.StatusBar->SetPanelText(
            static_cast<int>(2 * n + 1), ui::ToScreenText(settings.addresses[n]) +
                                             QLatin1Char(':') + QString::number(settings.ports[n]));
    }
}

void TForm1::FormActivate() {
    controls_.CBscale_num->setCurrentIndex(0);
    for (int n = 1; IsScaleNumber(n); ++n) {
        BBconnect1Click(n);
    }
    const auto show = [this](const PanelContent& panel) {
        controls_.StatusBar->SetPanelText(kPublishingPanel, panel.text);
        controls_.StatusBar->SetPanelToolTip(kPublishingPanel, panel.tool_tip);
    };
    const std::optional<PublishingOff> off = model_.StartPublishing(
        [show](const Publisher::Status& status) { show(PublishingPanel(status)); });
    if (off && !off->why.empty()) {
        show(PublishingRefusedPanel(off->why));
    }
    // With signing on, a panel of its own after the others, filled by each check of the month.
    model_.StartSigning([this, panel = -1](const std::string& status) mutable {
        if (panel < 0) {
            panel = controls_.StatusBar->AddPanel(
                {{}, kSigningPanelWidth, ui::PanelStatusBar::Bevel::kLowered});
        }
        controls_.StatusBar->SetPanelText(panel, QString::fromStdString(status));
        controls_.StatusBar->SetPanelToolTip(
            panel, QStringLiteral("Klucz podpisu: %1")
                       .arg(QString::fromStdString(model_.SigningKeyFingerprint())));
    });
}

void TForm1::ReadingShown(int scale, const Reading& reading) {
    displays_.ShowReading(scale, reading);
}

void TForm1::LampShown(int scale, Lamp lamp) {
    Box(scale).Shape->SetBrushColor(kLampColours.at(static_cast<std::size_t>(lamp)));
}

void TForm1::OutlineShown(int scale, bool white) {
    Box(scale).Shape->SetPenColor(white ? kWhite : kGreen);
}

void TForm1::ConnectOffered(int scale, bool offered) {
    Box(scale).BBconnect->setVisible(offered);
}

void TForm1::SaveWaiting(int scale, bool waiting) {
    QPushButton* button = Box(scale).BBsave;
    if (waiting && focusWidget() == button) {
        setFocus();  // not on to the next scale's save button, where a key would press it
    }
    button->setEnabled(!waiting);
}

void TForm1::SaveRefused(int scale, StableSaves::Refusal why) {
    const char* missing = why == StableSaves::Refusal::kNotStable ? "stabilnego" : "poprawnego";
    toolkit_.ShowErrorBox(
        this, QString::fromLatin1(kApplicationTitle),
        QString::fromUtf8("Waga %1: brak %2 odczytu - ważenie nie zostało zapisane.")
            .arg(scale)
            .arg(QLatin1String(missing)));
}

const ui::ScaleBox& TForm1::Box(int scale) const {
    return controls_.scales[static_cast<std::size_t>(scale - 1)];
}

void TForm1::BBconnect1Click(int scale) {
    model_.Connect(scale);
}

void TForm1::BBsave1Click(int scale) {
    model_.Save(scale);
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
    ConnectionSettings settings = model_.Connections();
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        const int scale = static_cast<int>(i + 1);
        settings.addresses[i] = ui::FromScreenText(params_->AddressText(scale));
        // The dialog let OK through only with four usable ports.
        settings.ports[i] = ParseInteger(ui::FromScreenText(params_->PortText(scale))).value_or(0);
    }
    settings.show_log = params_->ShowLogChecked();
    // The technical view's page "Odczyt": its keys alone are written, and take effect at once.
    std::optional<ReadingSettings> readings;
    if (params_->TechnicalView()) {
        readings = model_.Readings();
        params_->TSreading->Chosen(*readings);
    }
    // Drawn before the file is written, so that a failure leaves them showing what was chosen.
    WriteStatusBar(settings);
    controls_.Pa_rs_log->setVisible(settings.show_log);
    model_.ApplySettings(settings, readings);
    ApplyViewSettings(settings);
}

void TForm1::ShowLiveLines() {
    for (int n = 1; IsScaleNumber(n); ++n) {
        params_->TSreading->SetLiveLine(n, model_.LastLine(n), model_.Shown(n).Text(),
                                        model_.RecentBytes(n));
    }
}

void TForm1::Brs_inputClick() {
    model_.SimulateLine(controls_.CBscale_num->currentIndex() + 1,
                        ui::FromScreenText(controls_.Ers_input->text()));
}

void TForm1::BBsymulup_smallClick() {
    model_.Step(kSimulationStep);
}

void TForm1::BBsymuldown_smallClick() {
    model_.Step(-kSimulationStep);
}

void TForm1::SBsave_comportClick() {
    const std::optional<QString> chosen =
        toolkit_.SaveFileName(this, QStringLiteral("Zapisz plik transmisji RS232"),
                              QStringLiteral("rs232_log.txt"), QStringLiteral("txt (txt)"));
    if (chosen) {
        model_.Log().SaveToFile(QFile::encodeName(*chosen).toStdString());
    }
}

void TForm1::IlogoClick() {
    if (about_ != nullptr) {
        // The version's details, for an installer: the key that signs the register, if any.
        const std::string fingerprint = model_.SigningKeyFingerprint();
        about_->Label7->setToolTip(
            fingerprint.empty()
                ? QString()
                : QStringLiteral("Klucz podpisu: %1").arg(QString::fromStdString(fingerprint)));
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
    outer_size_->CentreOnScreen();
    // Activation follows the first showing, once the loop has put the window up.
    QMetaObject::invokeMethod(
        this, [this] { Guarded([this] { FormActivate(); }); }, Qt::QueuedConnection);
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ui::PlaceEdgeControls(controls_, event->size());
}

}  // namespace station
