#include "ledger/ledger_settings.h"

#include "core/text/ascii.h"

namespace station::ledger {
namespace {

bool IsMonth(const std::string& text) {
    return text.size() == 6 && std::all_of(text.begin(), text.end(), IsDigit) &&
           text.compare(4, 2, "01") >= 0 && text.compare(4, 2, "12") <= 0;
}

}  // namespace

int PreviousMonth(int month) {
    return month % 100 == 1 ? month - 100 + 11 : month - 1;
}

LedgerSettingsResult LoadLedgerSettings(const IniFile& file, const std::string& host_name,
                                        const std::string& state_directory, const LocalTime& now) {
    LedgerSettings settings;
    PublishSettingsResult broker =
        LoadBrokerSettings(file, "Broker", "tarvelio", "tarvelio-ledger-" + host_name);
    if (!broker.settings) {
        return {std::nullopt, "Broker: " + broker.problem};
    }
    settings.broker = std::move(*broker.settings);
    if (settings.broker.broker.empty()) {
        settings.broker.broker = "localhost";  // a ledger is installed beside its broker
    }
    settings.share = file.ReadString("Broker", "share", "");
    if (settings.share.find_first_of("/+#") != std::string::npos) {
        return {std::nullopt, "Broker: share: a group's name holds no '/', '+' or '#'"};
    }

    settings.database_url =
        file.ReadString("Baza", "url", "sqlite:" + state_directory + "/ledger.sqlite");
    if (!(settings.database_url.starts_with("sqlite:") &&
          settings.database_url.size() > std::string_view("sqlite:").size()) &&
        !settings.database_url.starts_with("postgresql://") &&
        !settings.database_url.starts_with("postgres://")) {
        return {std::nullopt,
                "Baza: url: neither sqlite:PATH nor postgresql://...: " + settings.database_url};
    }
    const std::string password_file = file.ReadString("Baza", "password_file", "");
    if (!password_file.empty()) {
        std::string problem;
        const std::optional<std::string> password = ReadPasswordFile(password_file, problem);
        if (!password) {
            return {std::nullopt, "Baza: password_file: " + problem};
        }
        settings.database_password = *password;
    }

    const std::string first = file.ReadString("Odtwarzanie", "first_month", "");
    if (first.empty()) {
        settings.first_month = PreviousMonth(now.year * 100 + now.month);
    } else if (IsMonth(first)) {
        settings.first_month = std::stoi(first);
    } else {
        return {std::nullopt, "Odtwarzanie: first_month: not a month (yyyymm): " + first};
    }
    return {std::move(settings), {}};
}

}  // namespace station::ledger
