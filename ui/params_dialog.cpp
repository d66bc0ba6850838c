#include "ui/params_dialog.h"

#include <QLabel>
#include <QShowEvent>
#include <QTabBar>

#include <algorithm>

#include "common/integer_text.h"
#include "ui/dialog_position.h"
#include "ui/fonts.h"
#include "ui/screen_text.h"

namespace station::ui {
namespace {

QFont SansFont(int pixel_size) {
    QFont font = WindowFont();
    font.setPixelSize(pixel_size);
    return font;
}

QLabel* PlaceLabel(const char* text, int left, int top, int width, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    // Laid out for a slightly narrower face: never cut the caption's colon off.
    label->setGeometry(left, top, std::max(width, label->sizeHint().width()), 13);
    return label;
}

}  // namespace

TFparams::TFparams(const ConnectionSettings& settings, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      settings_(settings) {
    setObjectName(QStringLiteral("Fparams"));
    setWindowTitle(QStringLiteral("Ustawienia"));
    setFont(WindowFont());
    setFixedSize(794, 373);

    PCconf = new QTabWidget(this);
    PCconf->setObjectName(QStringLiteral("PCconf"));
    PCconf->setGeometry(8, 8, 777, 313);
    PCconf->tabBar()->setFont(SansFont(13));
    TSconf_rs232 = new QWidget;
    TSconf_rs232->setObjectName(QStringLiteral("TSconf_rs232"));
    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(QStringLiteral("TabSheet2"));
    PCconf->addTab(TSconf_rs232, QString::fromUtf8("Połączenie z wagami"));
    PCconf->addTab(TabSheet2, QStringLiteral("Inne"));
    BuildScaleGroups();
    BuildOtherPage();

    BBok = new GlyphButton(QStringLiteral("check"), QSize(18, 18), 8, this);
    BBok->setObjectName(QStringLiteral("BBok"));
    BBok->setText(QStringLiteral("OK"));
    BBok->setGeometry(584, 328, 89, 33);
    BBok->setDefault(true);  // Enter anywhere presses OK
    BBcancel = new GlyphButton(QStringLiteral("cross"), QSize(18, 18), 8, this);
    BBcancel->setObjectName(QStringLiteral("BBcancel"));
    BBcancel->setText(QStringLiteral("Anuluj"));
    BBcancel->setGeometry(688, 328, 89, 33);
    BBcancel->setAutoDefault(false);
    connect(BBok, &QPushButton::clicked, this, [this] { BBokClick(); });
    connect(BBcancel, &QPushButton::clicked, this, &QDialog::reject);  // as Esc and the close box

    std::vector<QWidget*> order{PCconf};
    for (std::size_t i = 0; i < Eaddress.size(); ++i) {
        order.push_back(Eaddress[i]);
        order.push_back(Eport[i]);
    }
    order.insert(order.end(), {BBok, BBcancel});
    for (std::size_t i = 1; i < order.size(); ++i) {
        QWidget::setTabOrder(order[i - 1], order[i]);
    }
}

void TFparams::BuildScaleGroups() {
    const QPoint places[] = {{8, 0}, {240, 0}, {472, 0}, {8, 120}};
    for (std::size_t i = 0; i < GB.size(); ++i) {
        const QString number = QString::number(i + 1);
        GB[i] = new QGroupBox(QStringLiteral("Waga ") + number, TSconf_rs232);
        GB[i]->setObjectName(QStringLiteral("GB") + number);
        GB[i]->setGeometry(QRect(places[i], QSize(209, 105)));
        PlaceLabel("Adres IP docelowy:", 16, 32, 91, GB[i]);
        PlaceLabel("Port docelowy:", 16, 64, 70, GB[i]);
        Eaddress[i] = new QLineEdit(GB[i]);
        Eaddress[i]->setObjectName(QStringLiteral("Eaddress") + number);
        Eaddress[i]->setGeometry(120, 28, 65, 21);
        Eport[i] = new QLineEdit(GB[i]);
        Eport[i]->setObjectName(QStringLiteral("Eport") + number);
        Eport[i]->setGeometry(120, 60, 65, 21);
    }
}

void TFparams::BuildOtherPage() {
    GBrstimeout = new QGroupBox(TabSheet2);
    GBrstimeout->setObjectName(QStringLiteral("GBrstimeout"));
    GBrstimeout->setGeometry(8, 56, 353, 57);
    GBrstimeout->hide();  // the technical view is for installers who unhide it
    CBshow_rs_log =
        new QCheckBox(QString::fromUtf8("Pokaż transmisję danych (tryb techniczny):"), GBrstimeout);
    CBshow_rs_log->setObjectName(QStringLiteral("CBshow_rs_log"));
    CBshow_rs_log->setGeometry(8, 24, 305, 17);
    CBshow_rs_log->setFont(SansFont(13));
    CBshow_rs_log->setLayoutDirection(Qt::RightToLeft);  // caption left of the box
}

void TFparams::ShowTechnicalView(const ReadingSettings& reading) {
    GBrstimeout->show();
    if (reading_ == nullptr) {
        reading_ = &reading;
        TSreading = new ReadingPage;
        PCconf->addTab(TSreading, QStringLiteral("Odczyt"));
    }
}

QString TFparams::AddressText(int scale) const {
    return Eaddress.at(static_cast<std::size_t>(scale - 1))->text();
}

QString TFparams::PortText(int scale) const {
    return Eport.at(static_cast<std::size_t>(scale - 1))->text();
}

void TFparams::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous()) {
        return;  // restored from minimised, not opened
    }
    CentreOverParent(this);
    FormActivate();
}

void TFparams::FormActivate() {
    PCconf->setCurrentIndex(0);
    for (std::size_t i = 0; i < Eaddress.size(); ++i) {
        Eaddress[i]->setText(ToScreenText(settings_.addresses[i]));
        Eport[i]->setText(QString::number(settings_.ports[i]));
    }
    if (reading_ != nullptr) {
        TSreading->Fill(*reading_);
    }
}

void TFparams::BBokClick() {
    for (QLineEdit* field : Eport) {
        const auto port = ParseInteger(FromScreenText(field->text()));
        // A number no connection can use is refused like one that does not convert.
        if (!port || !IsUsablePort(*port)) {
            PCconf->setCurrentIndex(0);
            field->setFocus();
            return;  // the dialog stays open, without a message
        }
    }
    if (reading_ != nullptr) {
        if (QWidget* bad = TSreading->BadField()) {
            PCconf->setCurrentWidget(TSreading);
            bad->setFocus();
            return;
        }
    }
    accept();
}

}  // namespace station::ui
