#pragma once

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <array>

#include "core/scales.h"
#include "ui/glyph_button.h"
#include "ui/image.h"
#include "ui/shape.h"
#include "ui/status_bar.h"

namespace station::ui {

// One scale's box: reading, unit, lamp and buttons.
struct ScaleBox {
    QGroupBox* GroupBox;
    QLabel* Ldisplay;
    QLabel* Label;  // "kg", or the unit the scale's frames write
    ui::Shape* Shape;
    QPushButton* BBconnect;
    GlyphButton* BBsave;
};

// The main window's controls, named as the handlers and tests know them. The widgets belong to
// the window they were built on.
struct MainWindowControls {
    Image* Ilogo;
    GlyphButton* BBparams;
    QFrame* Psymul_small;
    GlyphButton* BBsymulup_small;
    GlyphButton* BBsymuldown_small;
    QLabel* Lsimul2;
    std::array<ScaleBox, kScaleCount> scales;
    QGroupBox* GroupBox6;
    QFrame* Panel1;
    QLineEdit* Ers_input;
    QComboBox* CBscale_num;
    QPushButton* Brs_input;
    GlyphButton* SBsave_comport;
    QFrame* Pa_rs_log;
    QPlainTextEdit* Mlog;
    PanelStatusBar* StatusBar;
};

// The client area as laid out, before the view settings size the window.
inline constexpr QSize kLaidOutClientSize{1167, 391};

// Creates every control on `window` at its place for 96 dots per inch, in stacking and tab order.
MainWindowControls BuildMainWindow(QWidget* window);

// Places what hangs on the window's edges (log panel, status bar) for its client size.
void PlaceEdgeControls(const MainWindowControls& controls, QSize client_size);

}  // namespace station::ui
