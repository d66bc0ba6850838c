#include "ledger/page/page_access.h"

#include <arpa/inet.h>

#include <algorithm>

#include "common/ascii.h"

namespace station::ledger {
namespace {

// Compares all of both, so the time taken says nothing of where they differ.
bool SameSecret(const std::string& given, const std::string& expected) {
    unsigned difference = given.size() == expected.size() ? 0 : 1;
    for (std::size_t i = 0; i < given.size(); ++i) {
        difference |= static_cast<unsigned>(
            given[i] ^ expected[i % std::max<std::size_t>(expected.size(), 1)]);
    }
    return difference == 0;
}

bool IsNumericAddress(const std::string& host) {
    if (host.find('\0') != std::string::npos) {
        return false;  // the address parser would stop at it and read the start alone
    }
    in6_addr address{};
    const std::string bare = host.size() > 2 && host.front() == '[' && host.back() == ']'
                                 ? host.substr(1, host.size() - 2)
                                 : host;
    return inet_pton(AF_INET, bare.c_str(), &address) == 1 ||
           inet_pton(AF_INET6, bare.c_str(), &address) == 1;
}

// The Host header's name, without its port, in lower case.
std::string HostName(std::string_view header) {
    const std::size_t bracket = header.rfind(']');
    const std::size_t colon = header.rfind(':');
    if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket) &&
        header.find(':') == colon) {
        return ToLowerAscii(header.substr(0, colon));
    }
    if (bracket != std::string_view::npos && header.front() == '[') {
        return ToLowerAscii(header.substr(0, bracket + 1));
    }
    return ToLowerAscii(header);
}

}  // namespace

std::optional<std::string> Base64Decoded(std::string_view text) {
    constexpr std::string_view kAlphabet =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string decoded;
    unsigned bits = 0;
    int count = 0;
    for (const char c : text) {
        if (c == '=') {
            break;
        }
        const std::size_t value = kAlphabet.find(c);
        if (value == std::string_view::npos) {
            return std::nullopt;
        }
        bits = (bits << 6) | static_cast<unsigned>(value);
        count += 6;
        if (count >= 8) {
            count -= 8;
            decoded += static_cast<char>((bits >> count) & 0xFF);
        }
    }
    return decoded;
}

bool Authorised(std::string_view header, const std::string& password) {
    constexpr std::string_view kBasic = "basic ";
    if (header.size() < kBasic.size() ||
        !EqualIgnoringCase(header.substr(0, kBasic.size()), kBasic)) {
        return false;
    }
    header.remove_prefix(kBasic.size());
    while (header.starts_with(' ')) {
        header.remove_prefix(1);
    }
    const auto credentials = Base64Decoded(header);
    const std::size_t colon = credentials ? credentials->find(':') : std::string::npos;
    return colon != std::string::npos && SameSecret(credentials->substr(colon + 1), password);
}

bool KnownHost(std::string_view header, const std::string& own_host,
               const std::vector<std::string>& names) {
    if (header.empty()) {
        return true;
    }
    const std::string host = HostName(header);
    return host == "localhost" || host == ToLowerAscii(own_host) || IsNumericAddress(host) ||
           std::any_of(names.begin(), names.end(),
                       [&host](const std::string& name) { return EqualIgnoringCase(name, host); });
}

}  // namespace station::ledger
