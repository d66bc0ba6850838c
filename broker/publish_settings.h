#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "common/ini_file.h"

namespace station {

// Where and how saved weighings and live readings are published, from the settings file's
// section "Publikacja". Publishing is off while `broker` is empty.
struct PublishSettings {
    std::string broker;
    int port = 1883;
    std::string topic;  // prefix of every topic
    std::string client_id;
    std::string username;
    std::string password;   // read from the password file, never stored
    std::string ca_file;    // TLS on
    std::string cert_file;  // client certificate, with its key
    std::string key_file;
};

// Publishing off, with the reason when the section has keys but cannot start it (empty when the
// section has none).
struct PublishingOff {
    std::string why;
};
using PublishSettingsResult = std::variant<PublishSettings, PublishingOff>;

// The machine's host name ("station" when it has none), for the default topic and client id.
std::string HostName();

// Reads the section with the file's rules; `host_name` names the station in the default topic
// and client id. A bad value, or keys without a broker, turn publishing off and say why.
PublishSettingsResult LoadPublishSettings(const IniFile& file, const std::string& host_name);

// A broker's keys from any section, with the same rules; `broker` is taken as it stands. A bad
// value gives no settings and the reason.
PublishSettingsResult LoadBrokerSettings(const IniFile& file, std::string_view section,
                                         const std::string& default_topic,
                                         const std::string& default_client_id);

// Why a file the settings name cannot be used.
struct UnusableFile {
    std::string why;
};

// The first line of a password file, which only its owner may read.
std::variant<std::string, UnusableFile> ReadPasswordFile(const std::string& path);

}  // namespace station
