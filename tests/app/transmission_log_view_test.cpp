// The transmission log as the technical view shows it and as its hidden button saves it.
#include <QPlainTextEdit>

#include "tests/app/station_fixture.h"

namespace station::test {
namespace {

class LogViewTest : public StationTest {
protected:
    void Simulate(const char* text) {
        form_->Controls().Ers_input->setText(QString::fromLatin1(text));
        form_->Controls().CBscale_num->setCurrentIndex(1);
        form_->Controls().Brs_input->click();
    }

    QString Memo() const { return form_->Controls().Mlog->toPlainText(); }

    void SetTechnicalView(bool on) {
        ConnectionSettings settings = form_->Model().Connections();
        settings.show_log = on;
        form_->ApplyViewSettings(settings);
    }
};

TEST_F(LogViewTest, LinesLoggedWhileHiddenAreThereWhenShown) {
    Show();
    Simulate("1");
    Simulate("2");
    EXPECT_EQ(Memo(), "");  // the hidden memo is not kept up to date
    SetTechnicalView(true);
    EXPECT_EQ(Memo(), "14-03-07.045 2  << 1\n14-03-07.045 2  << 2");
    Simulate("3");
    EXPECT_EQ(Memo(), "14-03-07.045 2  << 1\n14-03-07.045 2  << 2\n14-03-07.045 2  << 3");
    SetTechnicalView(false);
    Simulate("4");
    SetTechnicalView(true);
    EXPECT_EQ(form_->Controls().Mlog->document()->blockCount(), 4);
}

TEST_F(LogViewTest, MemoFollowsTheLogWhenItIsEmptiedAtCapacity) {
    Show();
    SetTechnicalView(true);
    for (std::size_t i = 0; i <= TransmissionLog::kCapacity + 1; ++i) {
        Simulate("5");
    }
    EXPECT_EQ(form_->Log().LineCount(), 1u);
    EXPECT_EQ(Memo(), "14-03-07.045 2  << 5");
}

TEST_F(LogViewTest, HiddenSaveButtonWritesTheLogWhereTheOperatorChose) {
    Start();
    Simulate("12.5");
    form_->Controls().SBsave_comport->click();  // cancelled: nothing written
    toolkit_.answer_save = QString::fromStdString(dir_ / "saved.txt");
    form_->Controls().SBsave_comport->click();
    EXPECT_EQ(toolkit_.save_dialogs.front(),
              "Zapisz plik transmisji RS232|rs232_log.txt|txt (txt)");
    EXPECT_EQ(ReadFile(dir_ / "saved.txt"), "------ Waga ------ \r\n14-03-07.045 2  << 12.5\r\n");

    toolkit_.answer_save = QString::fromStdString(dir_ / "missing/saved.txt");
    form_->Controls().SBsave_comport->click();
    EXPECT_EQ(toolkit_.error_boxes, (FakeToolkit::ErrorBoxes{{"Tarvelio", "Invalid filename."}}));
}

TEST_F(LogViewTest, ControlBytesAreNamedOnScreenAndKeptAsBytesInTheSavedFile) {
    Show();
    SetTechnicalView(true);
    Simulate(
        "\x02"
        "12.5\x03");
    EXPECT_EQ(Memo(), "14-03-07.045 2  << <STX>12.5<ETX>");
    toolkit_.answer_save = QString::fromStdString(dir_ / "saved.txt");
    form_->Controls().SBsave_comport->click();
    EXPECT_EQ(ReadFile(dir_ / "saved.txt"),
              "------ Waga ------ \r\n14-03-07.045 2  << \x02"
              "12.5\x03\r\n");
}

}  // namespace
}  // namespace station::test
