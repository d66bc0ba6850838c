#include "ui/reading_page.h"

#include <QPalette>

#include <array>

#include "common/integer_text.h"
#include "core/reading/pattern_format.h"
#include "ui/preset_chooser.h"
#include "ui/reading_description.h"
#include "ui/screen_text.h"

namespace station::ui {
namespace {

constexpr int kRowHeight = 62;

QLabel* PlaceLabel(const QString& text, int left, int top, int width, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(left, top, width, 13);
    return label;
}

std::string Chosen(const QComboBox* box) {
    return box->currentText() == QLatin1String(kStandardFormat) ? std::string()
                                                                : box->currentText().toStdString();
}

// Why a pattern cannot be used, in Polish with RE2's own words after it; empty when it can.
QString RefusalText(const PatternProblem& problem) {
    if (problem.kind == PatternProblem::Kind::kNone) {
        return {};
    }
    QString lead = QString::fromUtf8("Wzorzec nie do użycia: ");
    switch (problem.kind) {
        case PatternProblem::Kind::kDoesNotCompile:
            return lead + QString::fromUtf8("błąd w wyrażeniu (RE2: %1)")
                              .arg(QString::fromStdString(problem.detail));
        case PatternProblem::Kind::kNoWeightGroup:
            return lead + QString::fromUtf8("brak grupy (?P<weight>...)");
        case PatternProblem::Kind::kTooManyGroups:
            return lead + QString::fromUtf8("najwyżej %1 grup przed ostatnią nazwaną")
                              .arg(PatternFormat::kMaxGroups - 1);
        case PatternProblem::Kind::kNone:
            break;
    }
    return lead;
}

}  // namespace

ReadingPage::ReadingPage() {
    setObjectName(QStringLiteral("TSreading"));
    for (std::size_t i = 0; i < CBformat.size(); ++i) {
        const QString number = QString::number(i + 1);
        const int top = 8 + static_cast<int>(i) * kRowHeight;
        PlaceLabel(QStringLiteral("Waga ") + number, 8, top + 4, 48, this);
        CBformat[i] = new QComboBox(this);
        CBformat[i]->setObjectName(QStringLiteral("CBformat") + number);
        CBformat[i]->addItem(QLatin1String(kStandardFormat));
        for (const std::string_view name : PresetNames()) {
            CBformat[i]->addItem(QString::fromLatin1(name.data(), static_cast<int>(name.size())));
        }
        CBformat[i]->addItem(QLatin1String(kPatternFormat));
        CBformat[i]->setGeometry(56, top, 129, 21);
        Epattern[i] = new QLineEdit(this);
        Epattern[i]->setObjectName(QStringLiteral("Epattern") + number);
        Epattern[i]->setPlaceholderText(QStringLiteral("wzorzec: (?P<weight>...)"));
        Epattern[i]->setGeometry(193, top, 313, 21);
        CBsave[i] = new QComboBox(this);
        CBsave[i]->setObjectName(QStringLiteral("CBsave") + number);
        CBsave[i]->addItem(QString::fromUtf8("zapis: to, co pokazuje wyświetlacz"));
        CBsave[i]->addItem(QString::fromUtf8("zapis: tylko stabilny odczyt"));
        CBsave[i]->setGeometry(514, top, 241, 21);
        Llive[i] = new QLabel(this);
        Llive[i]->setObjectName(QStringLiteral("Llive") + number);
        Llive[i]->setGeometry(56, top + 26, 609, 26);
        Llive[i]->setWordWrap(true);
        BBrecognise[i] = new QPushButton(QStringLiteral("Rozpoznaj"), this);
        BBrecognise[i]->setObjectName(QStringLiteral("BBrecognise") + number);
        BBrecognise[i]->setToolTip(
            QString::fromUtf8("Gotowe formaty, które odczytują ostatnie linie tej wagi"));
        BBrecognise[i]->setGeometry(673, top + 27, 82, 23);
        BBrecognise[i]->setEnabled(false);  // until bytes come
        connect(BBrecognise[i], &QPushButton::clicked, this, [this, i] { Recognise(i); });
        connect(CBformat[i], &QComboBox::currentIndexChanged, this, [this, i] { Refresh(i); });
        connect(Epattern[i], &QLineEdit::textChanged, this, [this, i] { Refresh(i); });
    }
    const int top = 8 + static_cast<int>(kScaleCount) * kRowHeight;
    PlaceLabel(QString::fromUtf8("Czekanie na stabilny odczyt (s):"), 8, top + 4, 177, this);
    Estable_wait = new QLineEdit(this);
    Estable_wait->setObjectName(QStringLiteral("Estable_wait"));
    Estable_wait->setGeometry(193, top, 65, 21);
}

void ReadingPage::Fill(const ReadingSettings& settings) {
    for (std::size_t i = 0; i < CBformat.size(); ++i) {
        const std::string& format = settings.formats[i];
        CBformat[i]->setCurrentText(format.empty() ? QString::fromLatin1(kStandardFormat)
                                                   : QString::fromStdString(format));
        Epattern[i]->setText(ToScreenText(settings.patterns[i]));
        CBsave[i]->setCurrentIndex(settings.save_modes[i] == SaveMode::kStable ? 1 : 0);
        Refresh(i);  // a value the page already had changes nothing and so refreshes nothing
    }
    Estable_wait->setText(QString::number(settings.stable_wait_seconds));
}

QWidget* ReadingPage::BadField() const {
    for (std::size_t i = 0; i < CBformat.size(); ++i) {
        PatternProblem problem;
        if (CBformat[i]->currentText() == QLatin1String(kPatternFormat) &&
            !PatternFormat::Make(FromScreenText(Epattern[i]->text()), problem)) {
            return Epattern[i];
        }
    }
    const auto wait = ParseInteger(FromScreenText(Estable_wait->text()));
    if (!wait || *wait < 0 || *wait > ReadingSettings::kMaxSeconds) {
        return Estable_wait;
    }
    return nullptr;
}

void ReadingPage::Chosen(ReadingSettings& settings) const {
    for (std::size_t i = 0; i < CBformat.size(); ++i) {
        settings.formats[i] = ui::Chosen(CBformat[i]);
        settings.patterns[i] = FromScreenText(Epattern[i]->text());
        settings.save_modes[i] =
            CBsave[i]->currentIndex() == 1 ? SaveMode::kStable : SaveMode::kAny;
    }
    settings.stable_wait_seconds = ParseInteger(FromScreenText(Estable_wait->text())).value_or(0);
}

void ReadingPage::SetLiveLine(int scale, const std::string& line, const std::string& shown,
                              const std::string& recent) {
    const auto index = static_cast<std::size_t>(scale - 1);
    lines_.at(index) = line;
    shown_.at(index) = shown;
    recent_.at(index) = recent;
    BBrecognise.at(index)->setEnabled(!recent.empty());
    Refresh(index);
}

void ReadingPage::Recognise(std::size_t index) {
    auto* chooser =
        new PresetChooser(static_cast<int>(index) + 1, RecognisePresets(recent_[index]), this);
    connect(chooser, &PresetChooser::Chosen, this,
            [this, index](const QString& preset) { CBformat[index]->setCurrentText(preset); });
    chooser->open();
}

// A pattern that cannot be used says why in place of the live line, in red, whether or not a
// line has come: the installer sees it before pressing OK, and OK refuses it with these words.
void ReadingPage::Refresh(std::size_t index) {
    const std::string name = ui::Chosen(CBformat[index]);
    PatternProblem problem;
    std::unique_ptr<IndicatorFormat> format;  // none for the standard rule
    if (name == kPatternFormat) {
        format = PatternFormat::Make(FromScreenText(Epattern[index]->text()), problem);
    } else if (!name.empty()) {
        format = MakePreset(name);
    }
    const QString refusal = RefusalText(problem);
    Epattern[index]->setToolTip(refusal);
    CBsave[index]->setToolTip(
        name.empty() ? QString::fromUtf8("Stabilny odczyt: ta sama linia co najmniej 3 razy, "
                                         "w ciągu co najmniej 0,5 s")
                     : QString::fromUtf8("Stabilny odczyt: bez ruchu według wagi; gdy format nie "
                                         "podaje ruchu (ruch: —), ta sama masa, nie zaokrąglona, "
                                         "w co najmniej 3 ramkach w ciągu co najmniej 0,5 s"));
    QPalette palette;  // nothing set: the page's own colours
    if (!refusal.isEmpty()) {
        palette.setColor(QPalette::WindowText, QColor(0xc0, 0, 0));
    }
    Llive[index]->setPalette(palette);
    if (!refusal.isEmpty()) {
        Llive[index]->setText(refusal);
        return;
    }
    const std::string& line = lines_[index];
    if (line.empty()) {
        // Bytes without a line's end (a scale that sends no CR, under the standard rule) are
        // shown as they come, so that the installer sees the scale talks.
        constexpr std::size_t kTail = 40;
        const std::string& recent = recent_[index];
        Llive[index]->setText(recent.empty()
                                  ? QString::fromUtf8("(nic jeszcze nie odebrano)")
                                  : QString::fromUtf8("(bajty bez końca linii) ") +
                                        VisibleText(std::string_view(recent).substr(
                                            recent.size() - std::min(recent.size(), kTail))));
        return;
    }
    const QString reading =
        format ? DescribeReading(format->Read(line))
               : ToScreenText(shown_[index]) + QString::fromUtf8(" (regułą standardową)");
    Llive[index]->setText(VisibleText(line) + QStringLiteral("  →  ") + reading);
}

}  // namespace station::ui
