#include "ledger/ledger_settings.h"

#include <unistd.h>

#include "common/ascii.h"
#include "common/known_keys.h"
#include "common/month.h"
#include "common/weighing_chain.h"

namespace station::ledger {
namespace {

// "HOST:PORT" or "[IPV6]:PORT".
std::optional<std::pair<std::string, int>> Address(const std::string& text) {
    const std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        return std::nullopt;
    }
    std::string host = text.substr(0, colon);
    if (host.front() == '[' && host.back() == ']') {
        host = host.substr(1, host.size() - 2);
    }
    const std::string port = text.substr(colon + 1);
    if (host.empty() || port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(), IsDigit) || std::stoi(port) > 65535) {
        return std::nullopt;
    }
    return std::pair(host, std::stoi(port));
}

// "a, b,c": the items without their spaces, none empty.
std::vector<std::string> CommaList(const std::string& text) {
    std::vector<std::string> items;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = std::min(text.find(',', at), text.size());
        std::string item = text.substr(at, end - at);
        std::erase(item, ' ');
        if (!item.empty()) {
            items.push_back(std::move(item));
        }
        at = end + 1;
    }
    return items;
}

std::string LoadPage(const IniFile& file, PageSettings& page) {
    constexpr const char* kSection = "Strona";
    const std::string listen = file.ReadString(kSection, "listen", "127.0.0.1:8080");
    const auto address = Address(listen);
    if (!address) {
        return "Strona: listen: not HOST:PORT: " + listen;
    }
    page.host = address->first;
    page.port = address->second;
    page.files = file.ReadString(kSection, "files", page.files);
    page.names = CommaList(file.ReadString(kSection, "names", ""));
    const std::string per_address = file.ReadString(kSection, "per_address", "32");
    if (per_address.empty() || per_address.size() > 4 ||
        !std::all_of(per_address.begin(), per_address.end(), IsDigit)) {
        return "Strona: per_address: not a number of connections (0-9999): " + per_address;
    }
    page.most_per_address = static_cast<unsigned>(std::stoi(per_address));
    page.cert_file = file.ReadString(kSection, "certfile", "");
    page.key_file = file.ReadString(kSection, "keyfile", "");
    if (page.cert_file.empty() != page.key_file.empty()) {
        return "Strona: certfile and keyfile go together";
    }
    for (const std::string* path : {&page.cert_file, &page.key_file}) {
        if (!path->empty() && ::access(path->c_str(), R_OK) != 0) {
            return "Strona: cannot read " + *path;
        }
    }
    const std::string password_file = file.ReadString(kSection, "password_file", "");
    if (!password_file.empty()) {
        auto password = ReadPasswordFile(password_file);
        if (const auto* unusable = std::get_if<UnusableFile>(&password)) {
            return "Strona: password_file: " + unusable->why;
        }
        page.password = std::move(std::get<std::string>(password));
    }
    const bool loopback =
        page.host == "127.0.0.1" || page.host == "localhost" || page.host == "::1";
    if (!loopback && (page.password.empty() || page.cert_file.empty())) {
        return "Strona: listening on " + page.host +
               " needs password_file, certfile and keyfile (HTTP Basic over TLS)";
    }
    return {};
}

}  // namespace

LedgerSettingsResult LoadLedgerSettings(const IniFile& given, const std::string& host_name,
                                        const std::string& state_directory, const LocalTime& now) {
    const KeyRecordingIniFile file(given.Name());
    LedgerSettings settings;
    PublishSettingsResult broker =
        LoadBrokerSettings(file, "Broker", "tarvelio", "tarvelio-ledger-" + host_name);
    if (const auto* off = std::get_if<PublishingOff>(&broker)) {
        return "Broker: " + off->why;
    }
    settings.broker = std::move(std::get<PublishSettings>(broker));
    if (settings.broker.broker.empty()) {
        settings.broker.broker = "localhost";  // a ledger is installed beside its broker
    }
    settings.open_broker = settings.broker.username.empty() && settings.broker.cert_file.empty();
    const std::string open = file.ReadString("Broker", "open", "no");
    if (open != "yes" && open != "no") {
        return "Broker: open: neither yes nor no: " + open;
    }
    const std::string& host = settings.broker.broker;
    const bool loopback = host == "localhost" || host == "::1" || host.starts_with("127.");
    if (settings.open_broker && !loopback && open != "yes") {
        return "Broker: " + host +
               " is reached without username or certfile, so whoever reaches it may publish "
               "weighings; give a login (the README's broker recipe), or open=yes to take an open "
               "broker knowingly";
    }
    const std::string halls = file.ReadString("Broker", "halls", "no");
    if (halls != "yes" && halls != "no") {
        return "Broker: halls: neither yes nor no: " + halls;
    }
    settings.follow_halls = halls == "yes";
    settings.share = file.ReadString("Broker", "share", "");
    if (settings.share.find_first_of("/+#") != std::string::npos) {
        return "Broker: share: a group's name holds no '/', '+' or '#'";
    }

    settings.database_url =
        file.ReadString("Baza", "url", "sqlite:" + state_directory + "/ledger.sqlite");
    if (!(settings.database_url.starts_with("sqlite:") &&
          settings.database_url.size() > std::string_view("sqlite:").size()) &&
        !settings.database_url.starts_with("postgresql://") &&
        !settings.database_url.starts_with("postgres://")) {
        return "Baza: url: neither sqlite:PATH nor postgresql://...: " + settings.database_url;
    }
    const std::string password_file = file.ReadString("Baza", "password_file", "");
    if (!password_file.empty()) {
        auto password = ReadPasswordFile(password_file);
        if (const auto* unusable = std::get_if<UnusableFile>(&password)) {
            return "Baza: password_file: " + unusable->why;
        }
        settings.database_password = std::move(std::get<std::string>(password));
    }

    const std::string first = file.ReadString("Odtwarzanie", "first_month", "");
    if (first.empty()) {
        const auto month = Month::Of(now.year, now.month);
        settings.first_month = month ? month->Previous().Yyyymm() : 0;
    } else if (const auto month = Month::Read(first)) {
        settings.first_month = month->Yyyymm();
    } else {
        return "Odtwarzanie: first_month: not a month (yyyymm): " + first;
    }
    for (const std::string& room : CommaList(file.ReadString("Pokoje", "accept", ""))) {
        settings.rooms.insert(room);
    }
    const std::string most = file.ReadString("Pokoje", "most", "500");
    if (most.empty() || most.size() > 6 || !std::all_of(most.begin(), most.end(), IsDigit) ||
        std::stoi(most) == 0) {
        return "Pokoje: most: not a number of rooms (1-999999): " + most;
    }
    settings.most_rooms = static_cast<std::size_t>(std::stoi(most));
    const std::string client_ids = file.ReadString("Pokoje", "client_ids", "first");
    if (client_ids != "first" && client_ids != "room") {
        return "Pokoje: client_ids: neither first nor room: " + client_ids;
    }
    settings.client_id_is_room = client_ids == "room";
    const std::string verify = file.ReadString("Podpisy", "verify", "off");
    if (verify != "on" && verify != "off") {
        return "Podpisy: verify: neither on nor off: " + verify;
    }
    settings.verify_seals = verify == "on";
    for (const std::string& pinned : CommaList(file.ReadString("Podpisy", "keys", ""))) {
        const std::size_t colon = pinned.rfind(':');
        const auto key =
            colon == std::string::npos ? std::nullopt : FromHex<32>(pinned.substr(colon + 1));
        if (!key || colon == 0) {
            return "Podpisy: keys: not ROOM:KEY (the key in 64 lower-case hex digits): " + pinned;
        }
        settings.pinned_keys[pinned.substr(0, colon)] = *key;
    }
    if (std::string problem = LoadPage(file, settings.page); !problem.empty()) {
        return problem;
    }
    if (std::string unknown = file.UnknownEntry(); !unknown.empty()) {
        return unknown;
    }
    return settings;
}

}  // namespace station::ledger
