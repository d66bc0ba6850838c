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
    AboutBoxTest() : box_(toolkit_, nullptr) {
        box_.show();
        QApplication::processEvents();
    }

    static QColor TextColour(const QLabel* label) {
        return label->palette().color(QPalette::WindowText);
    }

    test::FakeToolkit toolkit_;
    TAboutBox box_;
};

TEST_F(AboutBoxTest, LayoutAsDrawn) {
    EXPECT_EQ(box_.windowTitle(), "O programie...");
    EXPECT_EQ(box_.size(), QSize(306, 232));
    EXPECT_EQ(box_.minimumSize(), box_.maximumSize());
    const struct {
        const QWidget* widget;
        QRect geometry;
        const char* text;  // a label's, where it has one
    } drawn[] = {
        {box_.Panel1, {24, 8, 257, 177}, nullptr},
        {box_.Ilogo, {17, 16, 220, 23}, nullptr},
        {box_.Label2, {8, 56, 241, 13}, "Program do rejestracji ważeń"},
        {box_.Label7, {16, 72, 217, 16}, "- wersja 1.0"},
        {box_.Label1, {40, 104, 176, 13}, "programy na zamówienie"},
        {box_.findChild<QWidget*>("Bevel1"), {40, 88, 177, 9}, nullptr},
        {box_.findChild<QWidget*>("Bevel2"), {40, 120, 177, 9}, nullptr},
        {box_.Lwww1, {80, 136, 121, 13}, nullptr},
        {box_.Lemail1, {80, 152, 128, 13}, nullptr},
        {box_.OKButton, {111, 196, 75, 25}, nullptr},
    };
    for (const auto& control : drawn) {
        ASSERT_NE(control.widget, nullptr) << control.geometry.x();
        EXPECT_EQ(control.widget->geometry(), control.geometry);
        if (control.text != nullptr) {
            EXPECT_EQ(qobject_cast<const QLabel*>(control.widget)->text(),
                      QString::fromUtf8(control.text));
        }
    }
    EXPECT_FALSE(box_.Ilogo->pixmap().isNull());
    EXPECT_EQ(TextColour(box_.Label1), QColor(0, 128, 0));
    EXPECT_TRUE(box_.Label1->font().bold());
    // Captions end where the layout ends them.
    EXPECT_EQ(box_.Lwww0->geometry().right(), 31 + 39 - 1);
    EXPECT_EQ(box_.Lwww0->text(), "Internet:");
    EXPECT_EQ(box_.Lemail0->geometry().right(), 31 + 31 - 1);
    EXPECT_EQ(box_.Lemail0->text(), "E-mail:");
    EXPECT_EQ(TextColour(box_.Lwww1), QColor(0, 0, 255));
    EXPECT_TRUE(box_.Lwww1->font().underline());
    EXPECT_EQ(box_.Lwww1->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_TRUE(box_.OKButton->isDefault());
}

TEST_F(AboutBoxTest, RightButtonColoursTheLinkWithoutOpeningIt) {
    QTest::mousePress(box_.Lwww1, Qt::RightButton);
    EXPECT_EQ(TextColour(box_.Lwww1), QColor(128, 0, 128));
    QTest::mouseRelease(box_.Lwww1, Qt::RightButton);
    EXPECT_EQ(TextColour(box_.Lwww1), QColor(0, 0, 255));
    EXPECT_TRUE(toolkit_.opened.empty());
}

TEST_F(AboutBoxTest, LeftClicksOpenTheTargetsEveryTime) {
    QTest::mousePress(box_.Lwww1, Qt::LeftButton);
    QTest::mouseRelease(box_.Lwww1, Qt::LeftButton);
    QTest::mouseClick(box_.Lwww1, Qt::LeftButton);
    QTest::mouseClick(box_.Lemail1, Qt::LeftButton);
    EXPECT_EQ(toolkit_.opened,
              (std::vector<QString>{"http://" + box_.Lwww1->text(), "http://" + box_.Lwww1->text(),
                                    "mailto:" + box_.Lemail1->text()}));
    EXPECT_EQ(TextColour(box_.Lemail1), QColor(0, 0, 255));
    EXPECT_TRUE(box_.isVisible());  // the outcome changes nothing
}

TEST_F(AboutBoxTest, EnterAndOkCloseItEscapeDoesNot) {
    QTest::keyClick(&box_, Qt::Key_Escape);
    EXPECT_TRUE(box_.isVisible());
    QTest::keyClick(&box_, Qt::Key_Return);
    EXPECT_FALSE(box_.isVisible());
    box_.show();
    box_.OKButton->click();
    EXPECT_FALSE(box_.isVisible());
}

}  // namespace
}  // namespace station::ui
