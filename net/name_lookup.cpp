#include "net/name_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <cerrno>

namespace station::net {

LookupResult LookUp(LookupKind kind, const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    const bool host = kind == LookupKind::kHost;
    addrinfo* found = nullptr;
    const int rc =
        getaddrinfo(host ? name.c_str() : nullptr, host ? nullptr : name.c_str(), &hints, &found);
    LookupResult result;
    if (rc != 0) {
        result.error = rc == EAI_SYSTEM ? errno : rc;
        return result;
    }
    const auto* address = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
    result.address = address->sin_addr.s_addr;
    result.port = address->sin_port;
    freeaddrinfo(found);
    return result;
}

in_addr_t ResolveHostNow(const std::string& name) {
    const LookupResult result = LookUp(LookupKind::kHost, name);
    return result.error == 0 ? result.address : 0;
}

std::uint16_t ResolveServiceNow(const std::string& service) {
    const LookupResult result = LookUp(LookupKind::kService, service);
    return result.error == 0 ? ntohs(result.port) : 0;
}

}  // namespace station::net
