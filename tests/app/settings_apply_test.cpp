// "Ustawienia": the dialog opened from the main window and the apply sequence behind its OK.
#include <QPainter>
#include <QTimer>

#include "tests/app/scale_fixture.h"
#include "tools/emulator/preset_frames.h"
#include "ui/params_dialog.h"
#include "ui/preset_chooser.h"

namespace station::test {
namespace {

class ApplyTest : public ScaleTest {
protected:
    // Starts the station with each scale on its own listener, all four connected.
    void StartConnected() {
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            ports_[i] = servers_[i].Port();
        }
        WriteSettings();
        Start();
        for (int n = 1; n <= 4; ++n) {
            peers_.push_back(ConnectScale(servers_[static_cast<std::size_t>(n - 1)], n));
        }
    }

    bool AllLamps(const QColor& colour) {
        for (int n = 1; n <= 4; ++n) {
            if (Box(n).Shape->BrushColor() != colour) {
                return false;
            }
        }
        return true;
    }

    // Presses "Ustawienia"; `operate` acts on the open dialog as the operator would.
    void OpenSettings(const std::function<void(ui::TFparams&)>& operate) {
        toolkit_.answer_modal = [&](QDialog& dialog) {
            operate(*qobject_cast<ui::TFparams*>(&dialog));
        };
        form_->Controls().BBparams->click();
    }

    ~ApplyTest() override {
        for (const int peer : peers_) {
            close(peer);
        }
    }

    std::array<Listener, kScaleCount> servers_;
    std::vector<int> peers_;
};

// The sequence itself is the model's (tests/service/settings_apply_test.cpp); the window hands
// it what the dialog holds, and shows what follows.
TEST_F(ApplyTest, OkWithoutChangesRewritesTheFileAndReconnectsOneToFour) {
    StartConnected();
    WriteFile(dir_ / "dane/konfig.ini",
              "; kept\r\n[Polaczenie]\r\nport1=" + std::to_string(ports_[0]) + "\r\n");
    OpenSettings([](ui::TFparams& dialog) { dialog.BBok->click(); });
    std::string expected = "; kept\r\n[Polaczenie]\r\n";
    expected += "port1=" + std::to_string(ports_[0]) + "\r\n";
    expected +=
        "address1=127.0.0.1\r\naddress2=127.0.0.1\r\naddress3=127.0.0.1\r\n"
        "address4=127.0.0.1\r\n";
    for (std::size_t i = 1; i < kScaleCount; ++i) {
        expected += "port" + std::to_string(i + 1) + "=" + std::to_string(ports_[i]) + "\r\n";
    }
    EXPECT_EQ(ReadFile(dir_ / "dane/konfig.ini"), expected);
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        const int peer = servers_[i].Accept();
        ASSERT_GE(peer, 0) << i;  // a new connection for every scale
        peers_.push_back(peer);
    }
    ASSERT_TRUE(RunQtUntil([&] { return AllLamps(kGreen); }));
    EXPECT_TRUE(toolkit_.error_boxes.empty());
}

TEST_F(ApplyTest, NewValuesTakeEffect) {
    StartConnected();
    Listener moved;
    OpenSettings([&](ui::TFparams& dialog) {
        dialog.Eaddress[1]->setText(" 10.0.0.1");  // taken as typed
        dialog.Eport[2]->setText(QString::number(moved.Port()));
        dialog.BBok->click();
    });
    EXPECT_EQ(form_->Model().Connections().addresses[1], " 10.0.0.1");
    EXPECT_EQ(PanelText(3), QStringLiteral(" 10.0.0.1:%1").arg(ports_[1]));
    EXPECT_EQ(form_->Model().Connections().ports[2], moved.Port());
    EXPECT_EQ(PanelText(5), QStringLiteral("127.0.0.1:%1").arg(moved.Port()));
    peers_.push_back(moved.Accept());
    EXPECT_GE(peers_.back(), 0);
    EXPECT_TRUE(RunQtUntil([&] { return Box(3).Shape->BrushColor() == kGreen; }));
}

TEST_F(ApplyTest, CancelChangesNothing) {
    StartConnected();
    const std::string file = ReadFile(dir_ / "dane/konfig.ini");
    OpenSettings([](ui::TFparams& dialog) {
        dialog.Eaddress[0]->setText("10.9.9.9");
        dialog.Eport[0]->setText("1");
        dialog.BBcancel->click();
    });
    EXPECT_EQ(form_->Model().Connections().addresses[0], "127.0.0.1");
    EXPECT_EQ(ReadFile(dir_ / "dane/konfig.ini"), file);
    EXPECT_TRUE(AllLamps(kGreen));  // never closed: a scale connecting again shows yellow
    QString reopened;
    OpenSettings([&](ui::TFparams& dialog) { reopened = dialog.Eaddress[0]->text(); });
    EXPECT_EQ(reopened, "127.0.0.1");
}

TEST_F(ApplyTest, TechnicalViewLetsTheOperatorTurnTheLogPanelOn) {
    StartConnected();
    bool switch_reachable = true;
    const auto operate = [&](ui::TFparams& dialog) {
        dialog.PCconf->setCurrentWidget(dialog.TabSheet2);  // the page "Inne"
        switch_reachable = dialog.CBshow_rs_log->isVisibleTo(&dialog);
        if (switch_reachable) {
            dialog.CBshow_rs_log->click();
        }
        dialog.BBok->click();
    };
    OpenSettings(operate);
    EXPECT_FALSE(switch_reachable);  // as delivered, the switch cannot be seen
    EXPECT_TRUE(Find("Pa_rs_log")->isHidden());

    form_->findChild<ui::TFparams*>()->ShowTechnicalView(form_->Model().Readings());
    OpenSettings(operate);
    EXPECT_TRUE(switch_reachable);
    EXPECT_FALSE(Find("Pa_rs_log")->isHidden());
}

TEST_F(ApplyTest, TheTechnicalPageOdczytSetsFormatsAndSaveModesWritingOnlyItsKeys) {
    StartConnected();
    OpenSettings([](ui::TFparams& dialog) {
        EXPECT_EQ(dialog.PCconf->count(), 2) << "no page Odczyt outside the technical view";
        dialog.BBok->click();
    });
    EXPECT_EQ(ReadFile(dir_ / "dane/konfig.ini").find("Odczyt"), std::string::npos);

    peers_.push_back(servers_[0].Accept());  // OK connected the scales again
    SendAll(peers_.back(), "S D     100.01 g\r\n");
    ASSERT_TRUE(RunQtUntil([&] { return Shown(1) == "100"; }));
    form_->findChild<ui::TFparams*>()->ShowTechnicalView(form_->Model().Readings());
    std::vector<QWidget*> refused;
    QString live;
    OpenSettings([&](ui::TFparams& dialog) {
        ui::ReadingPage& page = *dialog.TSreading;
        ASSERT_EQ(dialog.PCconf->count(), 3);
        EXPECT_EQ(page.Estable_wait->text(), "3");
        EXPECT_EQ(page.CBformat[0]->currentText(), "standard");
        page.CBformat[0]->setCurrentText("letter-status");
        live = page.Llive[0]->text();
        page.CBsave[1]->setCurrentIndex(1);
        page.CBformat[2]->setCurrentText("pattern");
        page.Epattern[2]->setText("(?P<wait>[0-9]+)");
        page.Estable_wait->setText("3 s");
        const auto press_ok = [&] {
            dialog.PCconf->setCurrentIndex(0);
            dialog.BBok->click();
            if (dialog.PCconf->currentWidget() == dialog.TSreading) {
                refused.push_back(dialog.focusWidget());
            }
        };
        press_ok();
        page.Epattern[2]->setText("^(?P<weight>[0-9]+) g$");
        press_ok();
        page.Estable_wait->setText("5");
        press_ok();
    });
    EXPECT_EQ(refused.size(), 2u) << "a pattern without weight, then a wait that is no number";
    EXPECT_EQ(live, "S D     100.01 g  →  100.01 g (ruch: tak, zakres: ok)")
        << "the last line, read by the format chosen";
    const std::string file = ReadFile(dir_ / "dane/konfig.ini");
    EXPECT_NE(file.find("[Odczyt]\r\nformat1=letter-status\r\npattern1=\"\"\r\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("format3=pattern\r\npattern3=\"^(?P<weight>[0-9]+) g$\"\r\n"),
              std::string::npos)
        << file;
    EXPECT_NE(file.find("save1=any\r\nsave2=stable\r\nsave3=any\r\nsave4=any\r\nstable_wait=5\r\n"),
              std::string::npos)
        << file;
    EXPECT_EQ(form_->Model().Readings().stable_wait_seconds, 5);

    // At once: scale 1 reads its new format, and scale 2 saves only a stable reading.
    form_->Controls().CBscale_num->setCurrentIndex(0);
    form_->Controls().Ers_input->setText("S +");
    form_->Controls().Brs_input->click();
    EXPECT_EQ(Shown(1), "OL");
    ASSERT_TRUE(RunQtUntil([&] { return Box(2).Shape->BrushColor() == kGreen; }));
    Box(2).BBsave->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(toolkit_.error_boxes,
              (FakeToolkit::ErrorBoxes{{"Tarvelio",
                                        "Waga 2: brak poprawnego odczytu - ważenie "
                                        "nie zostało zapisane."}}));
}

TEST_F(ApplyTest, AnInstallersPatternThatCannotBeUsedIsShownWithWhyAndNeverRewritten) {
    const std::string pattern = "pattern2=\"^(?P<weight>[0-9]+ kg$\"\r\n";
    WriteFile(dir_ / "dane/konfig.ini", "[Odczyt]\r\nformat2=pattern\r\n" + pattern);
    Start();
    form_->findChild<ui::TFparams*>()->ShowTechnicalView(form_->Model().Readings());
    bool refused = false;
    OpenSettings([&](ui::TFparams& dialog) {
        ui::ReadingPage& page = *dialog.TSreading;
        EXPECT_EQ(page.CBformat[1]->currentText(), "pattern");
        EXPECT_EQ(page.Epattern[1]->text(), "^(?P<weight>[0-9]+ kg$");
        EXPECT_TRUE(page.Llive[1]->text().startsWith(
            QString::fromUtf8("Wzorzec nie do użycia: błąd w wyrażeniu (RE2: ")))
            << page.Llive[1]->text().toStdString();
        dialog.PCconf->setCurrentIndex(0);
        dialog.BBok->click();
        refused = dialog.PCconf->currentWidget() == dialog.TSreading &&
                  dialog.focusWidget() == page.Epattern[1];
        page.CBformat[1]->setCurrentText("standard");  // put aside for now, kept as typed
        dialog.BBok->click();
    });
    EXPECT_TRUE(refused);
    const std::string file = ReadFile(dir_ / "dane/konfig.ini");
    EXPECT_NE(file.find("format2=standard\r\n" + pattern), std::string::npos) << file;
}

TEST_F(ApplyTest, UnwritableFileStopsAfterTheStatusBarWithTheScalesClosed) {
    StartConnected();
    std::filesystem::remove(dir_ / "dane/konfig.ini");
    std::filesystem::create_directory(dir_ / "dane/konfig.ini");  // cannot be replaced
    OpenSettings([](ui::TFparams& dialog) {
        dialog.Eport[3]->setText("3004");
        dialog.BBok->click();
    });
    EXPECT_EQ(toolkit_.error_boxes,
              (FakeToolkit::ErrorBoxes{{"Tarvelio", "Unable to write to dane/konfig.ini."}}));
    EXPECT_EQ(PanelText(7), "127.0.0.1:3004");
    EXPECT_TRUE(AllLamps(kRed));
}

TEST_F(ApplyTest, ReadingsKeepArrivingWhileTheDialogIsOpen) {
    StartConnected();
    ui::QtToolkit real;  // a real modal loop this time
    auto* dialog = form_->findChild<ui::TFparams*>();
    ASSERT_NE(dialog, nullptr);
    QString shown_meanwhile;
    QTimer::singleShot(0, dialog, [&] {
        SendAll(peers_[1], "4321\r");
        RunQtUntil([&] { return Box(2).Ldisplay->text() == "4321"; });
        shown_meanwhile = dialog->isVisible() ? Box(2).Ldisplay->text() : QString();
        dialog->reject();
    });
    EXPECT_FALSE(real.ShowModal(*dialog));
    EXPECT_EQ(shown_meanwhile, "4321");
}

// "Rozpoznaj" on three scales sending three layouts: each lists its preset with what it reads,
// and choosing it fills the scale's format; a scale no preset reads is pointed to the pattern.
TEST_F(ApplyTest, RozpoznajListsThePresetsThatReadTheScalesLinesAndFillsTheFormat) {
    StartConnected();
    const char* const presets[] = {"cr-etx", "csv-status", "stx-status"};
    std::array<std::string, kScaleCount> sent{"", "", "", "hello\r\nhello\r\nhello\r\n"};
    for (std::size_t i = 0; i < 3; ++i) {
        emulator::FirstFill fill;
        for (int frame = 0; frame < 4; ++frame) {
            sent[i] += emulator::MakePresetFrame(presets[i], 12345, false, false, fill).bytes;
        }
    }
    for (std::size_t i = 0; i < kScaleCount; ++i) {
        SendAll(peers_[i], sent[i]);
    }
    ASSERT_TRUE(RunQtUntil([&] {
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            if (form_->Model().RecentBytes(static_cast<int>(i) + 1) != sent[i]) {
                return false;
            }
        }
        return true;
    }));
    form_->findChild<ui::TFparams*>()->ShowTechnicalView(form_->Model().Readings());
    std::vector<QStringList> listed;
    QString none;
    OpenSettings([&](ui::TFparams& dialog) {
        ui::ReadingPage& page = *dialog.TSreading;
        dialog.PCconf->setCurrentWidget(&page);
        for (std::size_t i = 0; i < kScaleCount; ++i) {
            page.BBrecognise[i]->click();
            auto* chooser = page.findChild<ui::PresetChooser*>();
            ASSERT_NE(chooser, nullptr);
            QStringList rows;
            for (int row = 0; row < chooser->LBpresets->count(); ++row) {
                rows << chooser->LBpresets->item(row)->text().section('\n', 0, 0);
            }
            listed.push_back(rows);
            const QString name = i < 3 ? QString::fromLatin1(presets[i]) : QString();
            const auto found = chooser->LBpresets->findItems(name + "  →", Qt::MatchStartsWith);
            if (i == 3) {
                none = chooser->Lverdict->text();
                EXPECT_FALSE(chooser->BBok->isEnabled());
            } else if (!found.empty()) {
                chooser->LBpresets->setCurrentItem(found.front());
            }
            if (const char* pictures = std::getenv("STATION_PICTURES"); pictures && i == 0) {
                // The page and the list beside it, for the README.
                const QPixmap left = dialog.grab();
                const QPixmap right = chooser->grab();
                QPixmap both(left.width() + right.width(), std::max(left.height(), right.height()));
                both.fill(Qt::white);
                QPainter painter(&both);
                painter.drawPixmap(0, 0, left);
                painter.drawPixmap(left.width(), 0, right);
                painter.end();
                both.save(QString::fromUtf8(pictures) + "/preset-recognition.png");
            }
            (i == 3 ? chooser->reject() : chooser->BBok->click());
            delete chooser;
        }
        EXPECT_EQ(page.CBformat[0]->currentText(), "cr-etx");
        EXPECT_EQ(page.CBformat[1]->currentText(), "csv-status");
        EXPECT_EQ(page.CBformat[2]->currentText(), "stx-status");
        EXPECT_EQ(page.CBformat[3]->currentText(), "standard");
        dialog.BBok->click();
    });
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_TRUE(listed[i].contains(QString::fromLatin1(presets[i]) +
                                       "  →  1234.5 (ruch: nie, zakres: ok)"))
            << listed[i].join(" | ").toStdString();
    }
    EXPECT_TRUE(listed[3].isEmpty());
    EXPECT_TRUE(none.contains("pattern")) << none.toStdString();
    const std::string file = ReadFile(dir_ / "dane/konfig.ini");
    EXPECT_NE(file.find("format1=cr-etx\r\n"), std::string::npos) << file;
    EXPECT_NE(file.find("format3=stx-status\r\n"), std::string::npos) << file;
}

}  // namespace
}  // namespace station::test
