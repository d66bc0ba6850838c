#include "ui/about_box.h"

#include <qdrawutil.h>
#include <QKeyEvent>
#include <QPainter>
#include <QShowEvent>
#include <QUrl>

#include "ui/dialog_position.h"
#include "ui/fonts.h"
#include "ui/picture.h"
#include "ui/placement.h"

namespace station::ui {
namespace {

// Lowered outside, raised inside.
class DoubleBevelPanel final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        qDrawShadePanel(&painter, rect(), palette(), true, 1);
        qDrawShadePanel(&painter, rect().adjusted(1, 1, -1, -1), palette(), false, 1);
    }
};

// A sunken line along the bottom edge.
class BottomLine final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent* /*event*/) override {
        QPainter painter(this);
        const int bottom = height() - 2;
        qDrawShadeLine(&painter, 0, bottom, width(), bottom, palette(), true, 1, 0);
    }
};

QLabel* BoldLabel(const char* utf8, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(utf8), parent);
    QFont bold = label->font();
    bold.setBold(true);
    label->setFont(bold);
    label->setAlignment(Qt::AlignCenter);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    return label;
}

QLabel* RightAligned(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromLatin1(text), parent);
    label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    return label;
}

// Laid out for a slightly narrower face: a caption that does not fit grows to the left, so it
// still ends where the layout ends it.
void GrowLeftToFit(QLabel* label) {
    const int missing = label->sizeHint().width() - label->width();
    if (missing > 0) {
        label->setGeometry(label->geometry().adjusted(-missing, 0, 0, 0));
    }
}

}  // namespace

TAboutBox::TAboutBox(Toolkit& toolkit, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint),
      toolkit_(toolkit) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("O programie..."));
    setFont(WindowFont());
    setFixedSize(306, 232);
    BuildPanel();
    OKButton = Place(new QPushButton(QStringLiteral("OK"), this), "OKButton", 111, 196, 75, 25);
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
}

void TAboutBox::BuildPanel() {
    Panel1 = Place(new DoubleBevelPanel(this), "Panel1", 24, 8, 257, 177);
    Ilogo = Place(new QLabel(Panel1), "Ilogo", 17, 16, 220, 23);
    Ilogo->setPixmap(Picture(QStringLiteral("logo"), QSize(220, 23), devicePixelRatioF()));
    Label2 = Place(BoldLabel("Program do rejestracji ważeń", Qt::black, Panel1), "Label2", 8, 56,
                   241, 13);
    Label7 =
        Place(BoldLabel("- wersja " STATION_VERSION, Qt::black, Panel1), "Label7", 16, 72, 217, 16);
    Place(new BottomLine(Panel1), "Bevel1", 40, 88, 177, 9);
    Label1 = Place(BoldLabel("programy na zamówienie", QColor(0, 128, 0), Panel1), "Label1", 40,
                   104, 176, 13);
    Place(new BottomLine(Panel1), "Bevel2", 40, 120, 177, 9);

    Lwww0 = Place(RightAligned("Internet:", Panel1), "Lwww0", 31, 136, 39, 13);
    Lwww1 =
        Place(new LinkLabel(QStringLiteral(STATION_MAKER_WEB), Panel1), "Lwww1", 80, 136, 121, 13);
    Lemail0 = Place(RightAligned("E-mail:", Panel1), "Lemail0", 31, 152, 31, 13);
    GrowLeftToFit(Lwww0);
    GrowLeftToFit(Lemail0);
    Lemail1 = Place(new LinkLabel(QStringLiteral(STATION_MAKER_EMAIL), Panel1), "Lemail1", 80, 152,
                    128, 13);
    // The targets are built from what the labels show, so the two can never disagree.
    connect(Lwww1, &LinkLabel::clicked, this,
            [this] { toolkit_.OpenUrl(QUrl(QStringLiteral("http://") + Lwww1->text())); });
    connect(Lemail1, &LinkLabel::clicked, this,
            [this] { toolkit_.OpenUrl(QUrl(QStringLiteral("mailto:") + Lemail1->text())); });
}

void TAboutBox::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) {
        CentreOverParent(this);
    }
}

void TAboutBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        event->accept();  // only Enter, "OK" and the close box close it
        return;
    }
    QDialog::keyPressEvent(event);
}

}  // namespace station::ui
