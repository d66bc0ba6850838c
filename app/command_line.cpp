#include "app/command_line.h"

#include <QCommandLineParser>

#include <cstdio>

namespace station {
namespace {

constexpr int kUsageError = 2;

void Print(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

}  // namespace

CommandLineOutcome ReadCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Weighing-scale monitoring station: shows the readings of up to four scales that send\n"
        "text lines over TCP and saves weighings to the monthly register. It works in the\n"
        "directory it is started in: dane/konfig.ini holds the scales' addresses and ports,\n"
        "dane/yyyymm.txt the registers."));
    // Options of our own rather than Qt's, whose --help-all would list options of the window
    // system that this parser, run before it, does not take.
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    const QCommandLineOption technical(
        QStringLiteral("technical"),
        QStringLiteral("Technical view for installers: the settings dialog's \"Inne\" page shows "
                       "the switch of the transmission log panel, which lists every line the "
                       "scales send."));
    parser.addOption(technical);
    const QCommandLineOption new_key(
        QStringLiteral("new-key"),
        QStringLiteral("Makes a new key for signing the register in place of the one section "
                       "\"Podpisy\" names, announced by a signature of the old one so that the "
                       "months' chains go on, and exits. The station signs with it from its next "
                       "start."));
    parser.addOption(new_key);

    if (!parser.parse(arguments) || !parser.positionalArguments().isEmpty()) {
        const QString error = parser.positionalArguments().isEmpty()
                                  ? parser.errorText()
                                  : QStringLiteral("Unexpected argument '%1'.")
                                        .arg(parser.positionalArguments().constFirst());
        Print(stderr, QStringLiteral("tarvelio: %1\n\n%2").arg(error, parser.helpText()));
        return {std::nullopt, kUsageError};
    }
    if (parser.isSet(help)) {
        Print(stdout, parser.helpText());
        return {std::nullopt, 0};
    }
    if (parser.isSet(version)) {
        Print(stdout, QStringLiteral("tarvelio %1\n").arg(QStringLiteral(STATION_VERSION)));
        return {std::nullopt, 0};
    }
    return {CommandLine{parser.isSet(technical), parser.isSet(new_key)}, 0};
}

}  // namespace station
