#pragma once

#include <QComboBox>
#include <QCoreApplication>

#include <cstdlib>
#include <filesystem>
#include <memory>

#include "app/main_form.h"
#include "tests/core/fakes.h"
#include "tests/core/temp_dir.h"
#include "tests/ui/fake_toolkit.h"
#include "ui/about_box.h"
#include "ui/params_dialog.h"

namespace station::test {

// A station started in a directory of its own, with its own session token.
class StationTest : public ::testing::Test {
protected:
    StationTest() : cwd(dir.Path()) {
        std::filesystem::create_directory(dir / "dane");
        std::filesystem::create_directory(dir / "run");
        std::filesystem::permissions(dir / "run", std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", (dir / "run").c_str(), 1);
    }

    TForm1& Start() {
        form = std::make_unique<TForm1>(state, toolkit, clock);
        form->AttachDialogs(new ui::TFparams(state.settings, form.get()),
                            new ui::TAboutBox(toolkit, form.get()));
        return *form;
    }

    TForm1& Show() {
        Start().show();
        QCoreApplication::processEvents();
        return *form;
    }

    template <typename Widget = QWidget>
    Widget* Find(const char* name) {
        auto* widget = form->findChild<Widget*>(QString::fromLatin1(name));
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }

    const ui::ScaleBox& Box(int scale) const {
        return form->Controls().scales[static_cast<std::size_t>(scale - 1)];
    }

    QString PanelText(int index) { return form->Controls().StatusBar->PanelAt(index).text; }

    TempDir dir;
    WorkingDirectory cwd;
    StationState state;
    FakeToolkit toolkit;
    FakeClock clock;
    std::unique_ptr<TForm1> form;
};

}  // namespace station::test
