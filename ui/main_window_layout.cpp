#include "ui/main_window_layout.h"

#include <QString>

#include "ui/fonts.h"
#include "ui/picture.h"
#include "ui/placement.h"

namespace station::ui {
namespace {

constexpr int kLogPanelWidth = 234;
constexpr int kStatusBarHeight = 22;
const QColor kSilver(192, 192, 192);

void Colour(QWidget* widget, const QColor& text, const QColor& background) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Window, background);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

QString Numbered(const char* stem, int number) {
    return QString::fromLatin1(stem) + QString::number(number);
}

ScaleBox BuildScaleBox(QWidget* window, int number, int left) {
    ScaleBox box{};
    box.GroupBox = new QGroupBox(QStringLiteral("Waga %1 ").arg(number), window);
    box.GroupBox->setObjectName(Numbered("GroupBox", number));
    box.GroupBox->setGeometry(left, 64, 200, 190);

    box.Ldisplay = new QLabel(QStringLiteral("0"), box.GroupBox);
    box.Ldisplay->setObjectName(Numbered("Ldisplay", number));
    box.Ldisplay->setGeometry(6, 25, 190, 65);
    box.Ldisplay->setFont(ArialFont(64, true));
    box.Ldisplay->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    Colour(box.Ldisplay, Qt::black, kSilver);

    box.Label = new QLabel(QStringLiteral("kg"), box.GroupBox);
    box.Label->setObjectName(Numbered("Label", number + 4));
    box.Label->setGeometry(6, 82, 190, 16);
    box.Label->setFont(ArialFont(12));
    box.Label->setAlignment(Qt::AlignRight | Qt::AlignTop);
    Colour(box.Label, Qt::black, kSilver);

    box.Shape = new Shape(box.GroupBox);
    box.Shape->setObjectName(Numbered("Shape", number));
    box.Shape->setGeometry(9, 82, 12, 12);
    box.Shape->SetBrushColor(Qt::red);

    box.BBconnect = new QPushButton(QString::fromUtf8("połącz"), box.GroupBox);
    box.BBconnect->setObjectName(Numbered("BBconnect", number));
    box.BBconnect->setGeometry(16, 103, 57, 23);

    box.BBsave = new GlyphButton(QStringLiteral("diskette"), QSize(17, 17), 10, box.GroupBox);
    box.BBsave->setObjectName(Numbered("BBsave", number));
    box.BBsave->setGeometry(16, 136, 169, 41);
    box.BBsave->setText(QString::fromUtf8("  Zapisz ważenie"));
    box.BBsave->setFont(ArialFont(13, true));
    QPalette blue = box.BBsave->palette();
    // Not in the disabled group: a save that waits for a stable reading greys the caption.
    for (const QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        blue.setColor(group, QPalette::ButtonText, QColor(0, 0, 255));
    }
    box.BBsave->setPalette(blue);
    return box;
}

QFrame* RaisedPanel(QWidget* parent) {
    auto* panel = new QFrame(parent);
    panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    panel->setLineWidth(1);
    return panel;
}

}  // namespace

MainWindowControls BuildMainWindow(QWidget* window) {
    window->setFont(WindowFont());
    window->resize(kLaidOutClientSize);
    MainWindowControls c{};

    c.Ilogo = Place(new Image(window), "Ilogo", 297, 7, 16, 16);
    c.Ilogo->setPixmap(Picture(QStringLiteral("help"), QSize(16, 16), window->devicePixelRatioF()));
    c.Ilogo->setCursor(Qt::PointingHandCursor);
    c.Ilogo->setAttribute(Qt::WA_TranslucentBackground);

    c.BBparams = Place(new GlyphButton(QStringLiteral("tools"), QSize(20, 19), 8, window),
                       "BBparams", 328, 13, 113, 41);
    c.BBparams->setText(QStringLiteral("Ustawienia"));
    QFont bold = WindowFont();
    bold.setBold(true);
    c.BBparams->setFont(bold);

    c.Psymul_small = Place(RaisedPanel(window), "Psymul_small", 456, 8, 65, 45);
    c.Psymul_small->hide();
    c.BBsymulup_small =
        Place(new GlyphButton(QStringLiteral("arrow_up"), QSize(23, 25), 0, c.Psymul_small),
              "BBsymulup_small", 0, 0, 33, 33);
    c.BBsymuldown_small =
        Place(new GlyphButton(QStringLiteral("arrow_down"), QSize(23, 25), 0, c.Psymul_small),
              "BBsymuldown_small", 32, 0, 33, 33);
    c.Lsimul2 =
        Place(new QLabel(QStringLiteral("SYMULACJA"), c.Psymul_small), "Lsimul2", 0, 32, 65, 12);
    c.Lsimul2->setFont(ArialFont(9, true));
    c.Lsimul2->setAlignment(Qt::AlignCenter);
    Colour(c.Lsimul2, Qt::white, Qt::red);

    const int box_lefts[] = {8, 232, 456, 680};
    for (int n = 1; IsScaleNumber(n); ++n) {
        c.scales[static_cast<std::size_t>(n - 1)] = BuildScaleBox(window, n, box_lefts[n - 1]);
    }

    c.GroupBox6 = Place(new QGroupBox(QStringLiteral("Symulacja wagi "), window), "GroupBox6", 8,
                        296, 305, 57);
    c.Panel1 = Place(RaisedPanel(c.GroupBox6), "Panel1", 2, 18, 301, 37);
    c.Ers_input = Place(new QLineEdit(c.Panel1), "Ers_input", 8, 8, 81, 21);
    c.CBscale_num = Place(new QComboBox(c.Panel1), "CBscale_num", 96, 8, 41, 22);
    c.CBscale_num->addItems({"1", "2", "3", "4", "5"});
    c.CBscale_num->setCurrentIndex(-1);
    c.Brs_input =
        Place(new QPushButton(QStringLiteral("Symul.RS"), c.Panel1), "Brs_input", 144, 8, 52, 20);
    c.SBsave_comport =
        Place(new GlyphButton(QStringLiteral("diskette"), QSize(17, 17), 0, c.Panel1),
              "SBsave_comport", 210, 6, 24, 23);
    c.SBsave_comport->setFocusPolicy(Qt::NoFocus);
    c.SBsave_comport->setFlat(true);
    c.SBsave_comport->hide();

    c.Pa_rs_log = RaisedPanel(window);
    c.Pa_rs_log->setObjectName(QStringLiteral("Pa_rs_log"));
    c.Mlog = new QPlainTextEdit(c.Pa_rs_log);
    c.Mlog->setObjectName(QStringLiteral("Mlog"));
    c.Mlog->setFont(ArialFont(9));
    c.Mlog->setLineWrapMode(QPlainTextEdit::NoWrap);
    c.Mlog->setReadOnly(true);
    c.Mlog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    c.Mlog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);

    using Bevel = PanelStatusBar::Bevel;
    const QString none = QStringLiteral("<brak>");
    c.StatusBar = new PanelStatusBar({{QStringLiteral("Waga 1:"), 60, Bevel::kRaised},
                                      {none, 85, Bevel::kLowered},
                                      {QStringLiteral("Waga 2:"), 50, Bevel::kRaised},
                                      {none, 85, Bevel::kLowered},
                                      {QStringLiteral("Waga 3:"), 50, Bevel::kRaised},
                                      {none, 85, Bevel::kLowered},
                                      {QStringLiteral("Waga 4:"), 50, Bevel::kRaised},
                                      {none, 85, Bevel::kLowered},
                                      {QString(), 50, Bevel::kRaised}},
                                     window);
    c.StatusBar->setObjectName(QStringLiteral("StatusBar"));
    PlaceEdgeControls(c, kLaidOutClientSize);

    // Tab order: settings, log, the four scales, the line simulator, the step simulator.
    std::vector<QWidget*> order{c.BBparams, c.Mlog};
    for (const ScaleBox& box : c.scales) {
        order.push_back(box.BBconnect);
        order.push_back(box.BBsave);
    }
    order.insert(order.end(),
                 {c.Brs_input, c.Ers_input, c.CBscale_num, c.BBsymulup_small, c.BBsymuldown_small});
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
    return c;
}

void PlaceEdgeControls(const MainWindowControls& controls, QSize client_size) {
    const int log_height = client_size.height() - kStatusBarHeight;
    controls.Pa_rs_log->setGeometry(client_size.width() - kLogPanelWidth, 0, kLogPanelWidth,
                                    log_height);
    controls.Mlog->setGeometry(1, 1, kLogPanelWidth - 2, log_height - 2);
    controls.StatusBar->setGeometry(0, log_height, client_size.width(), kStatusBarHeight);
}

}  // namespace station::ui
