// The main window: its layout, the start-up sequence and the view settings.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QTest>

#include "app/single_instance.h"
#include "core/text/number_text.h"
#include "tests/app/station_fixture.h"

namespace station::test {
namespace {

struct Placement {
    const char* name;
    const char* parent;
    QRect geometry;
    const char* text;  // UTF-8; nullptr when the control has none to check
};

// Every control where the layout puts it, for 96 dots per inch.
const Placement kPlacements[] = {
    {"Ilogo", "Form1", {297, 7, 16, 16}, nullptr},
    {"BBparams", "Form1", {328, 13, 113, 41}, "Ustawienia"},
    {"Psymul_small", "Form1", {456, 8, 65, 45}, nullptr},
    {"BBsymulup_small", "Psymul_small", {0, 0, 33, 33}, ""},
    {"BBsymuldown_small", "Psymul_small", {32, 0, 33, 33}, ""},
    {"Lsimul2", "Psymul_small", {0, 32, 65, 12}, "SYMULACJA"},
    {"GroupBox1", "Form1", {8, 64, 200, 190}, "Waga 1 "},
    {"GroupBox2", "Form1", {232, 64, 200, 190}, "Waga 2 "},
    {"GroupBox3", "Form1", {456, 64, 200, 190}, "Waga 3 "},
    {"GroupBox4", "Form1", {680, 64, 200, 190}, "Waga 4 "},
    {"Ldisplay1", "GroupBox1", {6, 25, 190, 65}, "- - - - -"},
    {"Label5", "GroupBox1", {6, 82, 190, 16}, "kg"},
    {"Shape1", "GroupBox1", {9, 82, 12, 12}, nullptr},
    {"BBconnect1", "GroupBox1", {16, 103, 57, 23}, "połącz"},
    {"BBsave1", "GroupBox1", {16, 136, 169, 41}, "  Zapisz ważenie"},
    {"Ldisplay4", "GroupBox4", {6, 25, 190, 65}, "- - - - -"},
    {"Label8", "GroupBox4", {6, 82, 190, 16}, "kg"},
    {"Shape4", "GroupBox4", {9, 82, 12, 12}, nullptr},
    {"BBconnect4", "GroupBox4", {16, 103, 57, 23}, "połącz"},
    {"BBsave4", "GroupBox4", {16, 136, 169, 41}, "  Zapisz ważenie"},
    {"GroupBox6", "Form1", {8, 296, 305, 57}, "Symulacja wagi "},
    {"Panel1", "GroupBox6", {2, 18, 301, 37}, nullptr},
    {"Ers_input", "Panel1", {8, 8, 81, 21}, ""},
    {"CBscale_num", "Panel1", {96, 8, 41, 22}, nullptr},
    {"Brs_input", "Panel1", {144, 8, 52, 20}, "Symul.RS"},
    {"SBsave_comport", "Panel1", {210, 6, 24, 23}, ""},
};

QString TextOf(QWidget* widget) {
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        return button->text();
    }
    if (auto* box = qobject_cast<QGroupBox*>(widget)) {
        return box->title();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    return QStringLiteral("<no text>");
}

TEST_F(StationTest, EveryControlSitsWhereTheLayoutPutsIt) {
    Start();
    for (const Placement& place : kPlacements) {
        QWidget* widget = Find(place.name);
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName().toStdString(), place.parent) << place.name;
        EXPECT_EQ(widget->geometry(), place.geometry) << place.name;
        if (place.text != nullptr) {
            EXPECT_EQ(TextOf(widget).toStdString(), place.text) << place.name;
        }
    }
    for (int n = 1; n <= 4; ++n) {
        const ui::ScaleBox& box = form_->Controls().scales[static_cast<std::size_t>(n - 1)];
        EXPECT_EQ(box.GroupBox->objectName(), QStringLiteral("GroupBox%1").arg(n));
        EXPECT_EQ(box.Label->objectName(), QStringLiteral("Label%1").arg(n + 4));
        EXPECT_EQ(box.Ldisplay->font().pixelSize(), 64);
        EXPECT_TRUE(box.Ldisplay->font().bold());
        EXPECT_EQ(box.Ldisplay->palette().color(QPalette::Window), QColor(192, 192, 192));
        EXPECT_EQ(box.Ldisplay->alignment(), Qt::AlignRight | Qt::AlignVCenter);
        EXPECT_EQ(box.BBsave->palette().color(QPalette::ButtonText), QColor(0, 0, 255));
        EXPECT_EQ(box.BBsave->font().pixelSize(), 13);
        EXPECT_EQ(box.BBsave->PictureSize(), QSize(17, 17));
        // Unit label, lamp and buttons lie above the reading they overlap.
        const QObjectList& order = box.GroupBox->children();
        EXPECT_LT(order.indexOf(box.Ldisplay), order.indexOf(box.Label));
        EXPECT_LT(order.indexOf(box.Label), order.indexOf(box.Shape));
    }
    const auto* combo = Find<QComboBox>("CBscale_num");
    ASSERT_EQ(combo->count(), 5);
    EXPECT_EQ(combo->itemText(0), "1");
    EXPECT_EQ(combo->itemText(4), "5");
    EXPECT_EQ(Find<QLabel>("Lsimul2")->palette().color(QPalette::WindowText), QColor(Qt::white));
    EXPECT_EQ(Find<QLabel>("Lsimul2")->palette().color(QPalette::Window), QColor(Qt::red));
    EXPECT_EQ(Find("SBsave_comport")->focusPolicy(), Qt::NoFocus);
    EXPECT_FALSE(Find("SBsave_comport")->isVisibleTo(form_.get()));
    EXPECT_EQ(Find("Ilogo")->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(StationTest, StatusBarPanelsAndLogPanelHangOnTheEdges) {
    Show();
    const ui::PanelStatusBar* bar = form_->Controls().StatusBar;
    // The client area is what the outer 900 x 320 leaves inside the frame.
    const QSize client = form_->size();
    EXPECT_EQ(form_->frameGeometry().size(), QSize(900, 320));
    EXPECT_EQ(bar->geometry(), QRect(0, client.height() - 22, client.width(), 22));
    const int widths[] = {60, 85, 50, 85, 50, 85, 50, 85, 50};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(bar->PanelAt(i).width, widths[i]) << i;
        EXPECT_EQ(bar->PanelAt(i).bevel, i % 2 == 1 && i < 8 ? ui::PanelStatusBar::Bevel::kLowered
                                                             : ui::PanelStatusBar::Bevel::kRaised)
            << i;
    }
    EXPECT_EQ(PanelText(0), "Waga 1:");
    EXPECT_EQ(PanelText(6), "Waga 4:");
    EXPECT_EQ(PanelText(8), "");

    ConnectionSettings settings = form_->Model().Connections();
    settings.show_log = true;
    form_->ApplyViewSettings(settings);
    QCoreApplication::processEvents();
    const QSize technical = form_->size();
    EXPECT_EQ(Find("Pa_rs_log")->geometry(),
              QRect(technical.width() - 234, 0, 234, technical.height() - 22));
    EXPECT_EQ(Find("Mlog")->geometry(), QRect(1, 1, 232, technical.height() - 24));
}

TEST_F(StationTest, TabOrderRunsThroughTheScalesLeftToRight) {
    Start();
    const char* expected[] = {
        "BBparams",  "Mlog",       "BBconnect1",  "BBsave1",         "BBconnect2",
        "BBsave2",   "BBconnect3", "BBsave3",     "BBconnect4",      "BBsave4",
        "Brs_input", "Ers_input",  "CBscale_num", "BBsymulup_small", "BBsymuldown_small"};
    QWidget* widget = Find(expected[0]);
    for (std::size_t i = 1; i < std::size(expected); ++i) {
        widget = widget->nextInFocusChain();
        while (widget->focusPolicy() == Qt::NoFocus || widget->objectName().isEmpty()) {
            widget = widget->nextInFocusChain();  // scroll bars and other inner parts
        }
        EXPECT_EQ(widget->objectName().toStdString(), expected[i]);
    }
}

TEST_F(StationTest, StartsInTheNormalViewWithDefaultsAndRedLamps) {
    Start();
    for (const ui::ScaleBox& box : form_->Controls().scales) {
        EXPECT_EQ(box.Shape->BrushColor(), QColor(Qt::red));
        EXPECT_EQ(box.Shape->PenColor(), QColor(Qt::black));
    }
    form_->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(form_->windowTitle(), "Program do monitorowania wag");
    EXPECT_EQ(form_->frameGeometry().size(), QSize(900, 320));
    EXPECT_FALSE(Find("Pa_rs_log")->isVisible());
    EXPECT_TRUE(Find("Psymul_small")->isVisible());
    for (const ui::ScaleBox& box : form_->Controls().scales) {
        EXPECT_EQ(box.Ldisplay->text(), "- - - - -");
        EXPECT_TRUE(box.BBconnect->isVisible());
    }
    EXPECT_EQ(PanelText(1), "127.0.0.1:2001");
    EXPECT_EQ(PanelText(3), "127.0.0.1:2002");
    EXPECT_EQ(PanelText(5), "127.0.0.1:2003");
    EXPECT_EQ(PanelText(7), "127.0.0.1:2004");
    EXPECT_EQ(form_->Model().SimulatedValue(), 0);
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

TEST_F(StationTest, StartUpShowsTheSettingsFilesAddressesInTheStatusBar) {
    WriteFile(dir_ / "dane/konfig.ini",
              "[Polaczenie]\r\naddress1=10.0.0.7\r\nport1=4001\r\naddress2=\r\nport3=-5\r\n");
    Show();
    EXPECT_EQ(PanelText(1), "10.0.0.7:4001");
    EXPECT_EQ(PanelText(3), ":2002");
    EXPECT_EQ(PanelText(5), "127.0.0.1:-5");
    EXPECT_EQ(PanelText(7), "127.0.0.1:2004");
}

TEST_F(StationTest, AMissingDataFolderIsSaidAtStartAndNotMade) {
    const auto faults = [this] {
        std::vector<std::string> lines;
        for (const std::string& line : form_->Log().Lines()) {
            if (line.find(" !! no dane/ folder here: weighings cannot be saved") !=
                std::string::npos) {
                lines.push_back(line);
            }
        }
        return lines;
    };
    Start();
    EXPECT_TRUE(faults().empty());
    form_.reset();
    std::filesystem::remove_all(dir_ / "dane");
    Start();
    EXPECT_EQ(faults().size(), 1U);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "dane"));
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

TEST_F(StationTest, ViewSettingsSwitchSizeAndLogPanelAndKeepTheCorner) {
    Show();
    form_->move(40, 50);
    QCoreApplication::processEvents();
    const QPoint corner = form_->frameGeometry().topLeft();

    ConnectionSettings settings = form_->Model().Connections();
    settings.show_log = true;
    settings.ports[1] = 3002;
    form_->ApplyViewSettings(settings);
    QCoreApplication::processEvents();
    EXPECT_EQ(form_->frameGeometry().size(), QSize(1150, 410));
    EXPECT_EQ(form_->frameGeometry().topLeft(), corner);
    EXPECT_TRUE(Find("Pa_rs_log")->isVisible());
    EXPECT_TRUE(Find("GroupBox6")->visibleRegion().isEmpty() == false);
    EXPECT_EQ(PanelText(3), "127.0.0.1:3002");

    settings.show_log = false;
    settings.addresses[3] = "192.168.1.20";
    form_->ApplyViewSettings(settings);
    QCoreApplication::processEvents();
    EXPECT_EQ(form_->frameGeometry().size(), QSize(900, 320));
    EXPECT_EQ(form_->frameGeometry().topLeft(), corner);
    EXPECT_FALSE(Find("Pa_rs_log")->isVisible());
    EXPECT_EQ(PanelText(7), "192.168.1.20:2004");
}

TEST_F(StationTest, WindowCannotBeResizedOrMaximised) {
    Show();
    EXPECT_EQ(form_->minimumSize(), form_->maximumSize());
    EXPECT_FALSE(form_->windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_TRUE(form_->windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_TRUE(form_->windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(StationTest, ActivationSelectsTheFirstScaleOnce) {
    Start();
    EXPECT_EQ(Find<QComboBox>("CBscale_num")->currentIndex(), -1);
    form_->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Find<QComboBox>("CBscale_num")->currentText(), "1");
    Find<QComboBox>("CBscale_num")->setCurrentIndex(3);
    form_->hide();
    form_->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(Find<QComboBox>("CBscale_num")->currentIndex(), 3);
}

TEST_F(StationTest, HelpIconOpensTheAboutBoxAndChangesNothingElse) {
    Show();
    QTest::mouseClick(Find("Ilogo"), Qt::LeftButton);
    ASSERT_EQ(toolkit_.shown_dialogs, std::vector<QString>{"AboutBox"});
    QTest::mouseClick(Find("Ilogo"), Qt::RightButton);
    EXPECT_EQ(toolkit_.shown_dialogs.size(), 1u);
    EXPECT_EQ(PanelText(1), "127.0.0.1:2001");
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

TEST_F(StationTest, ErrorReportCarriesTheTitleAndThePointRule) {
    Start();
    form_->ReportError("Disk full");
    form_->ReportError("on API 'recv'");
    form_->ReportError("I/O error 5");
    EXPECT_EQ(toolkit_.error_boxes, (FakeToolkit::ErrorBoxes{{"Tarvelio", "Disk full."},
                                                             {"Tarvelio", "on API 'recv'"},
                                                             {"Tarvelio", "I/O error 5."}}));
}

TEST_F(StationTest, SecondCopyInTheSessionSaysSoBeforeAnyWindow) {
    const std::string token = dir_ / "run/ApplicationTestMapServer.lock";
    const int other = open(token.c_str(), O_RDONLY | O_CREAT, 0600);
    ASSERT_EQ(flock(other, LOCK_EX), 0);  // held as another copy would hold it
    InstanceGuard guard;
    EXPECT_FALSE(TakeSingleInstance(guard, toolkit_));
    EXPECT_EQ(
        toolkit_.error_boxes,
        (FakeToolkit::ErrorBoxes{{"Error", QString::fromUtf8("Program jest już uruchomiony!")}}));
    close(other);
    toolkit_.error_boxes.clear();
    EXPECT_TRUE(TakeSingleInstance(guard, toolkit_));
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

}  // namespace
}  // namespace station::test
