// The line simulator and the step simulator, through the same decoding as live data.
#include <QFontMetrics>
#include <QImage>

#include "tests/app/scale_fixture.h"

namespace station::test {
namespace {

class SimulationTest : public ScaleTest {
protected:
    void Simulate(const char* text, int item) {
        form_->Controls().Ers_input->setText(QString::fromUtf8(text));
        form_->Controls().CBscale_num->setCurrentIndex(item);
        form_->Controls().Brs_input->click();
    }

    std::string LastLogLine() const {
        const TransmissionLog& log = form_->Log();
        return log.LineCount() == 0 ? "" : std::string(log.Line(log.LineCount() - 1));
    }
};

TEST_F(SimulationTest, LineGoesToTheChosenScaleOnly) {
    Start();
    Simulate("12.5", 2);
    EXPECT_EQ(LastLogLine(), "14-03-07.045 3  << 12.5");
    EXPECT_EQ(Shown(3), "13");
    EXPECT_EQ(Shown(1), "- - - - -");
    EXPECT_EQ(form_->Controls().Ers_input->text(), "12.5");  // ready to be sent again

    const std::size_t logged = form_->Log().LineCount();
    Simulate("7", 4);  // item "5": logged and decoded, shown nowhere
    EXPECT_EQ(form_->Log().LineCount(), logged + 1);
    EXPECT_EQ(LastLogLine(), "14-03-07.045 5  << 7");
    for (int n = 1; n <= 4; ++n) {
        EXPECT_NE(Shown(n), "7") << n;
    }

    Simulate("", 0);
    EXPECT_EQ(form_->Log().LineCount(), logged + 1);
}

// A label clips on the left, where a clipped number reads as another number.
TEST_F(SimulationTest, AReadingTooWideForItsDisplayIsDrawnWholeInASmallerSize) {
    Show();
    QLabel* display = Box(2).Ldisplay;
    const QFont laid_out = display->font();
    Simulate("1234", 1);
    const QImage narrow = display->grab().toImage();
    const QRgb background = narrow.pixel(0, 0);
    for (const char* wide : {"100000", "123456", "-99999", "-1234567"}) {
        SCOPED_TRACE(wide);
        Simulate(wide, 1);
        EXPECT_EQ(Shown(2), wide);
        const QImage image = display->grab().toImage();  // the size is fitted as it is drawn
        EXPECT_LT(display->font().pixelSize(), laid_out.pixelSize());
        EXPECT_EQ(display->font().family(), laid_out.family());
        for (int y = 0; y < image.height(); ++y) {
            ASSERT_EQ(image.pixel(0, y), background) << "drawn to the left edge, row " << y;
        }
        QFont larger = display->font();
        larger.setPixelSize(larger.pixelSize() + 1);
        EXPECT_GT(QFontMetrics(larger).horizontalAdvance(display->text()),
                  display->contentsRect().width())
            << "the largest size that fits";
    }
    Simulate("1234", 1);
    EXPECT_EQ(display->grab().toImage(), narrow);
    EXPECT_EQ(display->font(), laid_out);
}

TEST_F(SimulationTest, StepsMoveScaleOneByFive) {
    Start();
    const auto up = [&] { form_->Controls().BBsymulup_small->click(); };
    const auto down = [&] { form_->Controls().BBsymuldown_small->click(); };
    const std::size_t logged = form_->Log().LineCount();
    up();
    EXPECT_EQ(Shown(1), "5");
    up();
    EXPECT_EQ(Shown(1), "10");
    down();
    EXPECT_EQ(Shown(1), "5");
    EXPECT_EQ(form_->Log().LineCount(), logged + 3);
    EXPECT_EQ(LastLogLine(), "14-03-07.045 1  << 5");
    down();
    down();
    EXPECT_EQ(Shown(1), "-5");
    up();
    EXPECT_EQ(Shown(1), "0");
    EXPECT_EQ(form_->Model().SimulatedValue(), 0);
}

}  // namespace
}  // namespace station::test
