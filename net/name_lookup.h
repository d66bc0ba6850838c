#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

namespace station::net {

// What a host or service lookup found: the first IPv4 address, or the TCP port, both in
// network byte order. `error` is 0 or the resolver's code.
struct LookupResult {
    int error = 0;
    in_addr_t address = 0;
    std::uint16_t port = 0;
};

enum class LookupKind { kHost, kService };

// A host or service lookup, waiting for the resolver; run it off the loop (base/off_loop.h).
LookupResult LookUp(LookupKind kind, const std::string& name);

// The same lookups, waiting for the answer; 0 when nothing is found.
in_addr_t ResolveHostNow(const std::string& name);
std::uint16_t ResolveServiceNow(const std::string& service);

}  // namespace station::net
