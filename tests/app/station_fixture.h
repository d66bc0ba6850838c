#pragma once

#include <QComboBox>
#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/main_form.h"
#include "tests/core/fakes.h"
#include "tests/support/station_directory.h"
#include "tests/support/temp_dir.h"
#include "tests/ui/fake_toolkit.h"
#include "ui/about_box.h"
#include "ui/params_dialog.h"

namespace station::test {

// A station started in a directory of its own, with its own session token.
class StationTest : public ::testing::Test {
protected:
    StationTest() : cwd_(dir_.Path()) { PrepareStationDirectory(dir_); }

    TForm1& Start() {
        form_ = std::make_unique<TForm1>(toolkit_, clock_);
        form_->AttachDialogs(new ui::TFparams(form_->Model().Connections(), form_.get()),
                             new ui::TAboutBox(toolkit_, form_.get()));
        return *form_;
    }

    TForm1& Show() {
        Start().show();
        QCoreApplication::processEvents();
        return *form_;
    }

    template <typename Widget = QWidget>
    Widget* Find(const char* name) {
        auto* widget = form_->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    const ui::ScaleBox& Box(int scale) const {
        return form_->Controls().scales[static_cast<std::size_t>(scale - 1)];
    }

    QString PanelText(int index) { return form_->Controls().StatusBar->PanelAt(index).text; }

    TempDir dir_;
    WorkingDirectory cwd_;
    FakeToolkit toolkit_;
    FakeClock clock_;
    std::unique_ptr<TForm1> form_;
};

}  // namespace station::test
