#include "app/main_form.h"

#include <QMetaObject>
#include <QResizeEvent>
#include <QScreen>

#include <exception>

#include "core/error_text.h"
#include "core/ini_file.h"
#include "core/number_text.h"
#include "ui/about_box.h"
#include "ui/outer_size.h"
#include "ui/params_dialog.h"
#include "ui/screen_text.h"

namespace station {
namespace {

constexpr QSize kNormalView{900, 320};
constexpr QSize kTechnicalView{1150, 410};

}  // namespace

TForm1::TForm1(StationState& state, ui::Toolkit& toolkit)
    : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                           Qt::WindowCloseButtonHint),
      state_(state),
      toolkit_(toolkit),
      controls_(ui::BuildMainWindow(this)),
      outer_size_(new ui::OuterSize(this)) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Program do monitorowania wag"));
    controls_.Ilogo->OnClick = [this] { Guarded([this] { IlogoClick(); }); };
    FormCreate();
}

void TForm1::AttachDialogs(ui::TFparams* /*params*/, ui::TAboutBox* about) {
    about_ = about;
}

void TForm1::FormCreate() {
    if (!state_.instance_guard.Acquire(InstanceGuard::SessionTokenPath())) {
        toolkit_.ShowErrorBox(nullptr, QStringLiteral("Error"),
                              QString::fromUtf8("Program jest już uruchomiony!"));
        toolkit_.RequestTermination();
    }
    for (ScaleChannel& channel : state_.channels) {
        channel.receive_buffer.clear();
    }
    state_.decimal_separator = DetectDecimalSeparator();
    for (const ui::ScaleBox& box : controls_.scales) {
        box.Ldisplay->setText(QStringLiteral("- - - - -"));
    }
    state_.simulated_value = 0;
    controls_.Psymul_small->show();
    LoadConnectionSettings(state_.settings, IniFile(kSettingsFileName));
    ApplyViewSettings();
}

void TForm1::ApplyViewSettings() {
    const bool technical = state_.settings.showLog;
    controls_.Pa_rs_log->setVisible(technical);
    outer_size_->Set(technical ? kTechnicalView : kNormalView);
    for (std::size_t n = 0; n < kScaleCount; ++n) {
        controls_.StatusBar->SetPanelText(static_cast<int>(2 * n + 1),
                                          ui::ToScreenText(state_.settings.addresses[n]) +
                                              QLatin1Char(':') +
                                              QString::number(state_.settings.ports[n]));
    }
}

void TForm1::FormActivate() {
    controls_.CBscale_num->setCurrentIndex(0);
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
        const QRect available = screen->availableGeometry();
        const QSize outer = outer_size_->Get();
        move(available.left() + (available.width() - outer.width()) / 2,
             available.top() + (available.height() - outer.height()) / 2);
    }
}

void TForm1::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    ui::PlaceEdgeControls(controls_, event->size());
}

}  // namespace station
