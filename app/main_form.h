#pragma once

// The station's main window: it draws what the station model (service/station_model.h) tells
// it and forwards every control's event to the model with the control's scale. It owns the
// controls (built by ui::BuildMainWindow), the Qt event loop the model runs on, the model, and
// the two dialogs' sequences; no state of the station is read back from a widget. Every handler
// runs on the GUI thread, and an exception that leaves it (from a click through Guarded(), from
// a connection event or a timer through the event loop) ends in the general error report; the
// station goes on. docs/ARCHITECTURE.md draws the whole picture.

#include <QWidget>

#include <functional>
#include <string>

#include "service/station_model.h"
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

inline constexpr const char* kApplicationTitle = "Tarvelio";

class TForm1 : public QWidget, private StationObserver {
    Q_OBJECT

public:
    // Runs the start-up sequence.
    TForm1(ui::Toolkit& toolkit, Clock& clock, StationFiles files = {});
    ~TForm1() override;
    TForm1(const TForm1&) = delete;
    TForm1& operator=(const TForm1&) = delete;

    // The two dialogs, created after this window.
    void AttachDialogs(ui::TFparams* params, ui::TAboutBox* about);

    // Log panel, window size and status bar as `settings` say.
    void ApplyViewSettings(const ConnectionSettings& settings);

    // The general error report for an 8-bit message.
    void ReportError(const std::string& message);

    const ui::MainWindowControls& Controls() const { return controls_; }
    StationModel& Model() { return model_; }
    const TransmissionLog& Log() const { return model_.Log(); }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void IlogoClick();
    void BBconnect1Click(int scale);
    void BBsave1Click(int scale);
    void BBparamsClick();
    void Brs_inputClick();
    void BBsymulup_smallClick();
    void BBsymuldown_smallClick();
    void SBsave_comportClick();
    void WriteStatusBar(const ConnectionSettings& settings);

    void WireHandlers();
    void ShowLiveLines();

    // What the model tells: drawn, never read back.
    void ReadingShown(int scale, const Reading& reading) override;
    void LampShown(int scale, Lamp lamp) override;
    void OutlineShown(int scale, bool white) override;
    void ConnectOffered(int scale, bool offered) override;
    void SaveWaiting(int scale, bool waiting) override;
    void SaveRefused(int scale, StableSaves::Refusal why) override;

    const ui::ScaleBox& Box(int scale) const;
    void Guarded(const std::function<void()>& handler);

    ui::Toolkit& toolkit_;
    ui::MainWindowControls controls_;
    ui::OuterSize* outer_size_;
    ui::QtEventLoop loop_;  // outlives the model, which runs on it
    StationModel model_;
    ui::LogMemo* memo_;
    ui::DisplayLabels displays_;
    ui::TFparams* params_ = nullptr;
    ui::TAboutBox* about_ = nullptr;
    bool shown_before_ = false;
};

}  // namespace station
