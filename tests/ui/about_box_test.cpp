// The about dialog: layout, links and how it closes.
#include "ui/about_box.h"

#include <QApplication>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/ui/fake_toolkit.h"

namespace station::ui {
namespace {

class AboutBoxTest : public ::testing::Test {
protected:
    AboutBoxTest() : box(toolkit, nullptr) {
        box.show();
        QApplication::processEvents();
    }

    static QColor TextColour(const QLabel* label) {
        return label->palette().color(QPalette::WindowText);
    }

    test::FakeToolkit toolkit;
    TAboutBox box;
};

TEST_F(AboutBoxTest, LayoutAsDrawn) {
    EXPECT_EQ(box.windowTitle(), "O programie...");
    EXPECT_EQ(box.size(), QSize(306, 232));
    EXPECT_EQ(box.minimumSize(), box.maximumSize());
    EXPECT_EQ(box.Panel1->geometry(), QRect(24, 8, 257, 177));
    EXPECT_EQ(box.Ilogo->geometry(), QRect(17, 16, 220, 23));
    EXPECT_FALSE(box.Ilogo->pixmap().isNull());
    EXPECT_EQ(box.Label2->geometry(), QRect(8, 56, 241, 13));
    EXPECT_EQ(box.Label2->text(), QString::fromUtf8("Program do rejestracji ważeń"));
    EXPECT_EQ(box.Label7->geometry(), QRect(16, 72, 217, 16));
    EXPECT_EQ(box.Label7->text(), "- wersja 1.0");
    EXPECT_EQ(box.Label1->geometry(), QRect(40, 104, 176, 13));
    EXPECT_EQ(box.Label1->text(), QString::fromUtf8("programy na zamówienie"));
    EXPECT_EQ(TextColour(box.Label1), QColor(0, 128, 0));
    EXPECT_TRUE(box.Label1->font().bold());
    EXPECT_EQ(box.findChild<QWidget*>("Bevel1")->geometry(), QRect(40, 88, 177, 9));
    EXPECT_EQ(box.findChild<QWidget*>("Bevel2")->geometry(), QRect(40, 120, 177, 9));
    // Captions end where the layout ends them.
    EXPECT_EQ(box.Lwww0->geometry().right(), 31 + 39 - 1);
    EXPECT_EQ(box.Lwww0->text(), "Internet:");
    EXPECT_EQ(box.Lemail0->geometry().right(), 31 + 31 - 1);
    EXPECT_EQ(box.Lemail0->text(), "E-mail:");
    EXPECT_EQ(box.Lwww1->geometry(), QRect(80, 136, 121, 13));
    EXPECT_EQ(box.Lemail1->geometry(), QRect(80, 152, 128, 13));
    EXPECT_EQ(TextColour(box.Lwww1), QColor(0, 0, 255));
    EXPECT_TRUE(box.Lwww1->font().underline());
    EXPECT_EQ(box.Lwww1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(box.OKButton->geometry(), QRect(111, 196, 75, 25));
    EXPECT_TRUE(box.OKButton->isDefault());
}

TEST_F(AboutBoxTest, RightButtonColoursTheLinkWithoutOpeningIt) {
    QTest::mousePress(box.Lwww1, Qt::RightButton);
    EXPECT_EQ(TextColour(box.Lwww1), QColor(128, 0, 128));
    QTest::mouseRelease(box.Lwww1, Qt::RightButton);
    EXPECT_EQ(TextColour(box.Lwww1), QColor(0, 0, 255));
    EXPECT_TRUE(toolkit.opened.empty());
}

TEST_F(AboutBoxTest, LeftClicksOpenTheTargetsEveryTime) {
    QTest::mousePress(box.Lwww1, Qt::LeftButton);
    QTest::mouseRelease(box.Lwww1, Qt::LeftButton);
    QTest::mouseClick(box.Lwww1, Qt::LeftButton);
    QTest::mouseClick(box.Lemail1, Qt::LeftButton);
    EXPECT_EQ(toolkit.opened,
              (std::vector<QString>{"http://" + box.Lwww1->text(), "http://" + box.Lwww1->text(),
                                    "mailto:" + box.Lemail1->text()}));
    EXPECT_EQ(TextColour(box.Lemail1), QColor(0, 0, 255));
    EXPECT_TRUE(box.isVisible());  // the outcome changes nothing
}

TEST_F(AboutBoxTest, EnterAndOkCloseItEscapeDoesNot) {
    QTest::keyClick(&box, Qt::Key_Escape);
    EXPECT_TRUE(box.isVisible());
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_FALSE(box.isVisible());
    box.show();
    box.OKButton->click();
    EXPECT_FALSE(box.isVisible());
}

}  // namespace
}  // namespace station::ui
