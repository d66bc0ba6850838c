#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace station::ledger {

// Who may read the plant page: the checks on a request's Authorization and Host headers, made
// before anything is read for it.

// Standard base64 up to its first '='; nothing for a byte outside its alphabet.
std::optional<std::string> Base64Decoded(std::string_view text);

// HTTP Basic with any user name and `password`, the scheme's name in any case; compared in a
// time that says nothing of where the password differs.
bool Authorised(std::string_view header, const std::string& password);

// Whether the Host header names this page: its own address `own_host`, localhost, one of `names`
// (any case) or an address in numbers, with or without a port. A name pointed here by a DNS
// answer changed under a browser (another site's page reading this one, the loopback page above
// all, which asks no password) is none of those. An empty header (HTTP/1.0) passes.
bool KnownHost(std::string_view header, const std::string& own_host,
               const std::vector<std::string>& names);

}  // namespace station::ledger
