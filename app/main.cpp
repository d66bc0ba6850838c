#include <QApplication>

#include <iostream>

#include "app/command_line.h"
#include "app/display_check.h"
#include "app/main_form.h"
#include "app/single_instance.h"
#include "core/settings/connection_settings.h"
#include "service/register_signing.h"
#include "ui/about_box.h"
#include "ui/params_dialog.h"
#include "ui/picture.h"
#include "ui/toolkit.h"

namespace {

// Reads the options before the window system is reached: --help, --version and a bad option
// work without a display and never take the single-instance guard.
station::CommandLineOutcome ReadOptions(int argc, char** argv) {
    const QCoreApplication reading(argc, argv);
    return station::ReadCommandLine(QCoreApplication::arguments());
}

}  // namespace

int main(int argc, char** argv) {
    const station::CommandLineOutcome options = ReadOptions(argc, argv);
    if (!options.run) {
        return options.exit_status;
    }
    if (options.run->new_key) {
        try {
            std::cout << station::RegisterSigning::RenewKey(
                             station::IniFile(station::kSettingsFileName))
                      << '\n';
            return 0;
        } catch (const station::StationKeyError& error) {
            std::cerr << "tarvelio: " << error.what() << '\n';
            return 1;
        }
    }
    if (!station::DisplayReachable()) {
        std::cerr << "tarvelio: no display; start it in a desktop session, or under xvfb-run\n";
        return 1;
    }
    QApplication application(argc, argv);
    // The name the desktop shows for the program; the window keeps its own caption.
    QApplication::setApplicationName(QString::fromLatin1(station::kApplicationTitle));
    // Bevelled buttons and captions set into their group frames, as the layouts were drawn for.
    QApplication::setStyle(QStringLiteral("Windows"));
    QApplication::setWindowIcon(station::ui::Picture(QStringLiteral("tarvelio"), QSize(64, 64)));

    station::ui::QtToolkit toolkit;
    station::InstanceGuard instance_guard;  // held until the program ends
    if (!station::TakeSingleInstance(instance_guard, toolkit)) {
        return 0;  // another copy runs: end before any window or connection
    }
    station::SystemClock clock;
    station::TForm1 form(toolkit, clock);
    // The dialogs are created once, after the main window, and hidden between uses.
    auto* params = new station::ui::TFparams(form.Model().Connections(), &form);
    auto* about = new station::ui::TAboutBox(toolkit, &form);
    form.AttachDialogs(params, about);
    if (options.run->technical) {
        params->ShowTechnicalView(form.Model().Readings());
    }
    form.show();
    return QApplication::exec();
}
