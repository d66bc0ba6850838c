// The settings dialog on its own: layout, refilling and the check of the ports.
#include "ui/params_dialog.h"

#include <QApplication>
#include <QLabel>
#include <QTest>

#include <algorithm>

#include <gtest/gtest.h>

namespace station::ui {
namespace {

class ParamsDialogTest : public ::testing::Test {
protected:
    ParamsDialogTest() : dialog_(settings_, nullptr) {}

    void Open() {
        dialog_.setResult(0);
        dialog_.show();
        QApplication::processEvents();
    }

    // Presses OK with `text` in the third port field; true when the dialog accepted.
    bool OkWithThirdPort(const QString& text) {
        Open();
        dialog_.Eport[2]->setText(text);
        dialog_.BBok->click();
        return dialog_.result() == QDialog::Accepted && !dialog_.isVisible();
    }

    ConnectionSettings settings_;
    TFparams dialog_;
};

TEST_F(ParamsDialogTest, LayoutAsDrawn) {
    EXPECT_EQ(dialog_.windowTitle(), "Ustawienia");
    EXPECT_EQ(dialog_.size(), QSize(794, 373));
    EXPECT_EQ(dialog_.minimumSize(), dialog_.maximumSize());
    EXPECT_FALSE(dialog_.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(dialog_.windowFlags() & Qt::WindowMaximizeButtonHint);
    const struct {
        const QWidget* widget;
        QRect geometry;
    } drawn[] = {
        {dialog_.PCconf, {8, 8, 777, 313}},        {dialog_.BBok, {584, 328, 89, 33}},
        {dialog_.BBcancel, {688, 328, 89, 33}},    {dialog_.GB[0], {8, 0, 209, 105}},
        {dialog_.GB[1], {240, 0, 209, 105}},       {dialog_.GB[2], {472, 0, 209, 105}},
        {dialog_.GB[3], {8, 120, 209, 105}},       {dialog_.GBrstimeout, {8, 56, 353, 57}},
        {dialog_.CBshow_rs_log, {8, 24, 305, 17}},
    };
    for (const auto& control : drawn) {
        EXPECT_EQ(control.widget->geometry(), control.geometry)
            << control.widget->objectName().toStdString();
    }
    ASSERT_EQ(dialog_.PCconf->count(), 2);
    EXPECT_EQ(dialog_.PCconf->tabText(0), QString::fromUtf8("Połączenie z wagami"));
    EXPECT_EQ(dialog_.PCconf->tabText(1), "Inne");
    EXPECT_EQ(dialog_.PCconf->widget(0), dialog_.TSconf_rs232);
    EXPECT_EQ(dialog_.BBok->text(), "OK");
    EXPECT_TRUE(dialog_.BBok->isDefault());
    EXPECT_EQ(dialog_.BBcancel->text(), "Anuluj");
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(dialog_.GB[i]->title(), QStringLiteral("Waga %1").arg(i + 1));
        EXPECT_EQ(dialog_.Eaddress[i]->geometry(), QRect(120, 28, 65, 21));
        EXPECT_EQ(dialog_.Eport[i]->geometry(), QRect(120, 60, 65, 21));
        const auto labels = dialog_.GB[i]->findChildren<QLabel*>();
        ASSERT_EQ(labels.size(), 2);
        EXPECT_EQ(labels[0]->text(), "Adres IP docelowy:");
        EXPECT_EQ(labels[0]->pos(), QPoint(16, 32));
        EXPECT_EQ(labels[1]->text(), "Port docelowy:");
        EXPECT_EQ(labels[1]->pos(), QPoint(16, 64));
    }
    EXPECT_TRUE(dialog_.GBrstimeout->isHidden());
    EXPECT_EQ(dialog_.CBshow_rs_log->text(),
              QString::fromUtf8("Pokaż transmisję danych (tryb techniczny):"));
    EXPECT_FALSE(dialog_.CBshow_rs_log->isChecked());
    EXPECT_EQ(dialog_.CBshow_rs_log->layoutDirection(), Qt::RightToLeft);

    const QWidget* expected[] = {dialog_.PCconf,      dialog_.Eaddress[0], dialog_.Eport[0],
                                 dialog_.Eaddress[1], dialog_.Eport[1],    dialog_.Eaddress[2],
                                 dialog_.Eport[2],    dialog_.Eaddress[3], dialog_.Eport[3],
                                 dialog_.BBok,        dialog_.BBcancel};
    // The order in which Tab meets them, inner parts of the page control left out.
    std::vector<const QWidget*> met;
    const QWidget* widget = expected[0];
    do {
        if (std::find(std::begin(expected), std::end(expected), widget) != std::end(expected)) {
            met.push_back(widget);
        }
        widget = widget->nextInFocusChain();
    } while (widget != expected[0]);
    EXPECT_EQ(met, std::vector<const QWidget*>(std::begin(expected), std::end(expected)));
}

TEST_F(ParamsDialogTest, EveryOpeningShowsTheFirstPageAndTheStoredValues) {
    settings_.addresses[1] = "10.1.1.2";
    settings_.ports[3] = -7;
    Open();
    EXPECT_EQ(dialog_.Eaddress[1]->text(), "10.1.1.2");
    EXPECT_EQ(dialog_.Eport[3]->text(), "-7");
    dialog_.PCconf->setCurrentIndex(1);
    dialog_.Eaddress[0]->setText("typed");
    dialog_.CBshow_rs_log->setChecked(true);
    dialog_.BBcancel->click();
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);

    Open();
    EXPECT_EQ(dialog_.PCconf->currentIndex(), 0);
    EXPECT_EQ(dialog_.Eaddress[0]->text(), "127.0.0.1");
    EXPECT_TRUE(dialog_.CBshow_rs_log->isChecked());  // the check box keeps its own state
}

TEST_F(ParamsDialogTest, BadPortKeepsTheDialogOpenWithTheFocusThere) {
    Open();
    dialog_.activateWindow();
    dialog_.PCconf->setCurrentIndex(1);
    dialog_.Eport[2]->setText("20x1");
    dialog_.Eport[3]->setText("also bad");
    dialog_.BBok->click();
    EXPECT_TRUE(dialog_.isVisible());
    EXPECT_EQ(dialog_.result(), 0);
    EXPECT_EQ(dialog_.PCconf->currentIndex(), 0);
    EXPECT_EQ(QApplication::focusWidget(), dialog_.Eport[2]);
    EXPECT_EQ(dialog_.Eport[2]->text(), "20x1");  // what was typed stays
}

TEST_F(ParamsDialogTest, ABadPatternOrWaitKeepsTheDialogOpenOnOdczytWithTheFocusThere) {
    const ReadingSettings reading;
    dialog_.ShowTechnicalView(reading);
    Open();
    dialog_.activateWindow();
    ReadingPage& page = *dialog_.TSreading;
    page.CBformat[1]->setCurrentText("pattern");
    struct BadCase {
        const char* pattern;
        const char* wait;
        QWidget* focus;
    };
    const BadCase cases[] = {
        {"(?P<weight>[0-9]+", "3", page.Epattern[1]},
        {"(?P<value>[0-9]+)", "3", page.Epattern[1]},
        {"(?P<weight>[0-9]+)", "3 s", page.Estable_wait},
        {"(?P<weight>[0-9]+)", "-1", page.Estable_wait},
        {"(?P<weight>[0-9]+)", "3601", page.Estable_wait},
    };
    for (const BadCase& c : cases) {
        SCOPED_TRACE(std::string(c.pattern) + " / " + c.wait);
        dialog_.PCconf->setCurrentIndex(0);
        page.Epattern[1]->setText(c.pattern);
        page.Estable_wait->setText(c.wait);
        dialog_.BBok->click();
        EXPECT_TRUE(dialog_.isVisible());
        EXPECT_EQ(dialog_.PCconf->currentWidget(), dialog_.TSreading);
        EXPECT_EQ(QApplication::focusWidget(), c.focus);
    }
    page.Estable_wait->setText("0");
    dialog_.BBok->click();
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);
}

TEST_F(ParamsDialogTest, PortsFollowTheIntegerRuleAndMustBeUsable) {
    EXPECT_FALSE(OkWithThirdPort("2001 "));
    EXPECT_TRUE(OkWithThirdPort(" 2001"));
    EXPECT_TRUE(OkWithThirdPort("0x7D1"));
    EXPECT_TRUE(OkWithThirdPort("65535"));
    EXPECT_FALSE(OkWithThirdPort("70000"));
    EXPECT_FALSE(OkWithThirdPort("0"));
    EXPECT_FALSE(OkWithThirdPort("-5"));
    EXPECT_FALSE(OkWithThirdPort(""));
}

TEST_F(ParamsDialogTest, EnterChecksAndEscapeCancels) {
    Open();
    dialog_.activateWindow();
    dialog_.Eport[0]->setFocus();
    dialog_.Eport[0]->setText("x");
    QTest::keyClick(dialog_.Eport[0], Qt::Key_Return);
    EXPECT_TRUE(dialog_.isVisible());
    dialog_.Eport[0]->setText("2001");
    QTest::keyClick(dialog_.Eport[0], Qt::Key_Return);
    EXPECT_EQ(dialog_.result(), QDialog::Accepted);

    Open();
    QTest::keyClick(&dialog_, Qt::Key_Escape);
    EXPECT_EQ(dialog_.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog_.isVisible());
}

}  // namespace
}  // namespace station::ui
