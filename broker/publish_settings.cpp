#include "broker/publish_settings.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fstream>
#include <utility>

#include "common/integer_text.h"

namespace station {
namespace {

constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;

// One section of a settings file, as the broker's keys are read from it.
struct Section {
    const IniFile& file;
    std::string_view name;
};

std::string Read(const Section& section, const char* key) {
    return section.file.ReadString(section.name, key, "");
}

// The port given, or the default of the connection's kind; nothing when it is no port.
std::optional<int> Port(const std::string& text, bool tls) {
    if (text.empty()) {
        return tls ? kTlsPort : kPlainPort;
    }
    const std::optional<std::int32_t> port = ParseInteger(text);
    if (!port || *port < 1 || *port > 65535) {
        return std::nullopt;
    }
    return *port;
}

// A broker refuses to publish under a wildcard, and no collector listens under an empty level:
// either would lose every message without a word.
bool UsableTopic(const std::string& topic) {
    return topic.find_first_of("+#") == std::string::npos && topic.front() != '/' &&
           topic.back() != '/' && topic.find("//") == std::string::npos;
}

PublishSettingsResult Load(const Section& file, const std::string& default_topic,
                           const std::string& default_client_id) {
    PublishSettings settings;
    settings.broker = Read(file, "broker");
    // The files are checked for reading now, so that a typing error shows at start.
    for (const auto& [key, path] :
         {std::pair{"cafile", &settings.ca_file}, std::pair{"certfile", &settings.cert_file},
          std::pair{"keyfile", &settings.key_file}}) {
        *path = Read(file, key);
        if (!path->empty() && ::access(path->c_str(), R_OK) != 0) {
            return PublishingOff{std::string(key) + ": cannot read " + *path};
        }
    }
    if (settings.cert_file.empty() != settings.key_file.empty()) {
        return PublishingOff{"certfile and keyfile go together"};
    }
    const std::string port = Read(file, "port");
    const std::optional<int> port_number = Port(port, !settings.ca_file.empty());
    if (!port_number) {
        return PublishingOff{"port: not a number from 1 to 65535: " + port};
    }
    settings.port = *port_number;
    settings.topic = Read(file, "topic");
    if (settings.topic.empty()) {
        settings.topic = default_topic;
    }
    if (!UsableTopic(settings.topic)) {
        return PublishingOff{"topic: no '+', '#' or empty level: " + settings.topic};
    }
    settings.client_id = Read(file, "client_id");
    if (settings.client_id.empty()) {
        settings.client_id = default_client_id;
    }
    settings.username = Read(file, "username");
    const std::string password_file = Read(file, "password_file");
    if (!password_file.empty()) {
        auto password = ReadPasswordFile(password_file);
        if (const auto* unusable = std::get_if<UnusableFile>(&password)) {
            return PublishingOff{"password_file: " + unusable->why};
        }
        settings.password = std::move(std::get<std::string>(password));
    }
    return settings;
}

}  // namespace

std::variant<std::string, UnusableFile> ReadPasswordFile(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        return UnusableFile{"cannot read " + path + ": " + std::strerror(errno)};
    }
    if (!S_ISREG(status.st_mode)) {
        return UnusableFile{"cannot read " + path + ": not a file"};
    }
    if ((status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        return UnusableFile{"others than its owner can read " + path};
    }
    if (::access(path.c_str(), R_OK) != 0) {
        std::string why = "cannot read " + path + ": " + std::strerror(errno);
        if (errno == EACCES) {
            // The usual cause: made by root for a program that runs as a user of its own.
            const passwd* user = ::getpwuid(::geteuid());
            const std::string name = user != nullptr ? user->pw_name : std::to_string(::geteuid());
            why += " (this program runs as user " + name + ", who must own it: chown " + name +
                   " " + path + ")";
        }
        return UnusableFile{why};
    }
    std::ifstream stream(path, std::ios::binary);
    std::string line;
    if (!stream || std::getline(stream, line).bad()) {
        return UnusableFile{"cannot read " + path};
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

PublishSettingsResult LoadBrokerSettings(const IniFile& file, std::string_view section,
                                         const std::string& default_topic,
                                         const std::string& default_client_id) {
    return Load({file, section}, default_topic, default_client_id);
}

PublishSettingsResult LoadPublishSettings(const IniFile& file, const std::string& host_name) {
    constexpr std::string_view kSection = "Publikacja";
    if (file.ReadString(kSection, "broker", "").empty()) {
        // A section written for publishing that cannot start it is said, not taken as absent.
        return PublishingOff{file.HasKeys(kSection) ? "publishing off: broker: not set" : ""};
    }
    PublishSettingsResult result =
        LoadBrokerSettings(file, kSection, "tarvelio/" + host_name, "tarvelio-" + host_name);
    if (auto* off = std::get_if<PublishingOff>(&result)) {
        off->why.insert(0, "publishing off: ");
    }
    return result;
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') {
        return "station";
    }
    return name;
}

}  // namespace station
