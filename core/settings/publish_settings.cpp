#include "core/settings/publish_settings.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include "core/text/integer_text.h"

namespace station {
namespace {

constexpr const char* kSection = "Publikacja";
constexpr int kPlainPort = 1883;
constexpr int kTlsPort = 8883;

class Refused {
public:
    explicit Refused(std::string why) : why_(std::move(why)) {}
    const std::string& What() const { return why_; }

private:
    std::string why_;
};

std::string Read(const IniFile& file, const char* key) {
    return file.ReadString(kSection, key, "");
}

// A file named by `key`, checked for reading now so that a typing error shows at start.
std::string ReadableFile(const IniFile& file, const char* key) {
    std::string path = Read(file, key);
    if (!path.empty() && ::access(path.c_str(), R_OK) != 0) {
        throw Refused(std::string(key) + ": cannot read " + path);
    }
    return path;
}

int Port(const IniFile& file, bool tls) {
    const std::string text = Read(file, "port");
    if (text.empty()) {
        return tls ? kTlsPort : kPlainPort;
    }
    const std::optional<std::int32_t> port = ParseInteger(text);
    if (!port || *port < 1 || *port > 65535) {
        throw Refused("port: not a number from 1 to 65535: " + text);
    }
    return *port;
}

// The first line of the file, which only its owner may read.
std::string Password(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) {
        throw Refused("password_file: cannot read " + path);
    }
    if ((status.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        throw Refused("password_file: others than its owner can read " + path);
    }
    std::ifstream stream(path, std::ios::binary);
    std::string line;
    if (!stream || std::getline(stream, line).bad()) {
        throw Refused("password_file: cannot read " + path);
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

PublishSettings Load(const IniFile& file, const std::string& host_name) {
    PublishSettings settings;
    settings.broker = Read(file, "broker");
    settings.ca_file = ReadableFile(file, "cafile");
    settings.cert_file = ReadableFile(file, "certfile");
    settings.key_file = ReadableFile(file, "keyfile");
    if (settings.cert_file.empty() != settings.key_file.empty()) {
        throw Refused("certfile and keyfile go together");
    }
    settings.port = Port(file, !settings.ca_file.empty());
    settings.topic = Read(file, "topic");
    if (settings.topic.empty()) {
        settings.topic = "tarvelio/" + host_name;
    }
    settings.client_id = Read(file, "client_id");
    if (settings.client_id.empty()) {
        settings.client_id = "tarvelio-" + host_name;
    }
    settings.username = Read(file, "username");
    const std::string password_file = Read(file, "password_file");
    if (!password_file.empty()) {
        settings.password = Password(password_file);
    }
    return settings;
}

}  // namespace

PublishSettingsResult LoadPublishSettings(const IniFile& file, const std::string& host_name) {
    if (Read(file, "broker").empty()) {
        // A section written for publishing that cannot start it is said, not taken as absent.
        return {std::nullopt, file.HasKeys(kSection) ? "publishing off: broker: not set" : ""};
    }
    try {
        return {Load(file, host_name), {}};
    } catch (const Refused& refused) {
        return {std::nullopt, "publishing off: " + refused.What()};
    }
}

}  // namespace station
