#pragma once

#include <optional>
#include <set>
#include <string>
#include <variant>

#include "common/clock.h"
#include "common/ini_file.h"
#include "ledger/page/page_settings.h"
#include "ledger/store/store_settings.h"

namespace station::ledger {

// The ledger's settings file: section "Broker" with the keys and rules of the station's
// "Publikacja" (`topic` is the prefix every station publishes under), "Baza" with the database,
// "Odtwarzanie" with the first month asked of a station never seen, "Pokoje" with the rooms kept,
// "Podpisy" with whether signing rooms' weighings are verified and the keys pinned,
// "Strona" with the plant page: on 127.0.0.1 unless told otherwise, and on any other address
// only with a password and a certificate. A broker on another machine is reached with a login or
// a certificate unless `open=yes` takes the open broker knowingly. A section or key the ledger does
// not read is refused, named with its line.
struct LedgerSettings : StoreSettings {
    // The broker is reached without a login or a certificate: whoever reaches it may publish.
    bool open_broker = false;
    PageSettings page;
};

// The settings, or why they cannot be used.
using LedgerSettingsResult = std::variant<LedgerSettings, std::string>;

// `state_directory` holds the SQLite file by default; `now` gives the default first month, the
// one before it.
LedgerSettingsResult LoadLedgerSettings(const IniFile& file, const std::string& host_name,
                                        const std::string& state_directory, const LocalTime& now);

}  // namespace station::ledger
