#pragma once

#include <QStringList>

#include <optional>

namespace station {

// What the station's command line asks for.
struct CommandLine {
    // Lets the settings dialog show the switch of the transmission log, for installers.
    bool technical = false;
    // Makes a new signing key, announced by the old one, and ends: no window, no display.
    bool new_key = false;
};

// Either options to run with, or the exit status of a run that ends here: after --help or
// --version (printed to standard output) or a bad command line (explained on standard error).
struct CommandLineOutcome {
    std::optional<CommandLine> run;
    int exit_status = 0;
};

// Reads `arguments` (the program name first). Needs a QCoreApplication, not a window system,
// so that --help works without a display.
CommandLineOutcome ReadCommandLine(const QStringList& arguments);

}  // namespace station
