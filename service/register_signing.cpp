#include "service/register_signing.h"

#include "core/settings/signing_settings.h"

namespace station {
namespace {

// What became of a line, as the operator reads it.
const char* PolishName(ChainBreakKind kind) {
    switch (kind) {
        case ChainBreakKind::kAltered:
            return "zmieniony";
        case ChainBreakKind::kInserted:
            return "wstawiony";
        case ChainBreakKind::kRemoved:
            return "usunięty";
        case ChainBreakKind::kReordered:
            return "przestawiony";
        case ChainBreakKind::kAdded:
            return "dopisany bez podpisu";
        case ChainBreakKind::kForged:
            return "podpis nie pasuje";
    }
    return "?";
}

}  // namespace

std::unique_ptr<RegisterSigning> RegisterSigning::Start(const IniFile& settings,
                                                        const std::string& data_directory,
                                                        TransmissionLog& log,
                                                        StatusSink on_status) {
    const SigningSettingsResult loaded = LoadSigningSettings(settings);
    for (const std::string& problem : loaded.problems) {
        log.LogTransmission(log_code::kFault, problem, 0);
    }
    if (!loaded.settings.on) {
        return nullptr;
    }
    StationKey key;
    try {
        key = LoadOrMakeStationKey(loaded.settings.key_file);
    } catch (const StationKeyError& error) {
        log.LogTransmission(log_code::kFault,
                            std::string("signing: ") + error.what() + "; weighings are not signed",
                            0);
        on_status("Podpisy: brak klucza - ważenia nie są podpisywane");
        return nullptr;
    }
    log.LogTransmission(log_code::kEvent,
                        "signing: key " + Fingerprint(key.key.public_key) + " (public " +
                            Hex(key.key.public_key) + ")" +
                            (key.made ? " made now in " + loaded.settings.key_file +
                                            ": keep a copy where the station's disk is not"
                                      : " from " + loaded.settings.key_file) +
                            (key.announced ? "; announced by the previous key " +
                                                 Fingerprint(key.announced->previous)
                                           : ""),
                        0);
    return std::unique_ptr<RegisterSigning>(
        new RegisterSigning(data_directory, key, log, std::move(on_status)));
}

std::string RegisterSigning::RenewKey(const IniFile& settings) {
    const std::string path = LoadSigningSettings(settings).settings.key_file;
    const StationKey key = RenewStationKey(path);
    return "signing: key " + Fingerprint(key.key.public_key) + " (public " +
           Hex(key.key.public_key) + ") in " + path + ", announced by the previous key " +
           Fingerprint(key.announced->previous) + "; the station signs with it from its next start";
}

void RegisterSigning::Check(Month month) {
    const ChainCheck check = signer_.Check(month);
    const std::string file = month.FileName();
    if (check.first_break) {
        const ChainBreak& at = *check.first_break;
        log_.LogTransmission(log_code::kFault,
                             "signing: " + file + ": line " + std::to_string(at.line_number) + " " +
                                 ChainBreakName(at.kind) + ": " + at.line,
                             0);
        on_status_("Podpisy: " + file + " naruszony w wierszu " + std::to_string(at.line_number) +
                   " (" + PolishName(at.kind) + ")");
        return;
    }
    std::string said =
        "signing: " + file + ": " + std::to_string(check.verified) + " lines verified";
    if (check.unsigned_before > 0) {
        said += ", the " + std::to_string(check.unsigned_before) + " before them saved unsigned";
    }
    log_.LogTransmission(log_code::kEvent, said, 0);
    on_status_("Podpisy: " + file + " zgodny" +
               (check.unsigned_before > 0
                    ? " od wiersza " + std::to_string(check.unsigned_before + 1)
                    : std::string()));
}

}  // namespace station
