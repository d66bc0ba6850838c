#pragma once

// The station's main window and its controller.
//
// TForm1 owns the controls (built by ui::BuildMainWindow) and the station's handlers; the
// logic they run lives in core/ (decoding, log, files, state) and net/ (connections) and reaches
// Qt only through this window and ui::Toolkit. Every handler runs on the GUI thread through
// Guarded(), so an exception that leaves it ends in the general error report and the station
// goes on. StationState is the process's one run-time state; the window reads and writes it but
// does not own it.

#include <QWidget>

#include <functional>
#include <string>

#include "core/station_state.h"
#include "ui/main_window_layout.h"
#include "ui/toolkit.h"

namespace station::ui {
class OuterSize;
class TAboutBox;
class TFparams;
}  // namespace station::ui

namespace station {

inline constexpr const char* kApplicationTitle = "Tarvelio";

class TForm1 : public QWidget {
public:
    // Runs the start-up sequence. When another copy is running it has said so and asked the
    // program to end before this returns.
    TForm1(StationState& state, ui::Toolkit& toolkit);

    // The two dialogs, created after this window.
    void AttachDialogs(ui::TFparams* params, ui::TAboutBox* about);

    // Log panel, window size and status bar from the state's settings.
    void ApplyViewSettings();

    // The general error report for an 8-bit message.
    void ReportError(const std::string& message);

    const ui::MainWindowControls& Controls() const { return controls_; }

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void FormCreate();
    void FormActivate();
    void IlogoClick();
    void Guarded(const std::function<void()>& handler);
    void CentreOnScreen();

    StationState& state_;
    ui::Toolkit& toolkit_;
    ui::MainWindowControls controls_;
    ui::OuterSize* outer_size_;
    ui::TAboutBox* about_ = nullptr;
    bool shown_before_ = false;
};

}  // namespace station
