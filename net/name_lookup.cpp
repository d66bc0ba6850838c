#include "net/name_lookup.h"

#include <netdb.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

namespace station::net {
namespace {

LookupResult LookUp(AsyncLookup::Kind kind, const std::string& name) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    const bool host = kind == AsyncLookup::Kind::kHost;
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

}  // namespace

in_addr_t ResolveHostNow(const std::string& name) {
    const LookupResult result = LookUp(AsyncLookup::Kind::kHost, name);
    return result.error == 0 ? result.address : 0;
}

std::uint16_t ResolveServiceNow(const std::string& service) {
    const LookupResult result = LookUp(AsyncLookup::Kind::kService, service);
    return result.error == 0 ? ntohs(result.port) : 0;
}

AsyncLookup::AsyncLookup(Kind kind, std::string name) : kind_(kind), name_(std::move(name)) {}

AsyncLookup::~AsyncLookup() {
    if (ready_fd_ >= 0) {
        close(ready_fd_);
    }
}

std::shared_ptr<AsyncLookup> AsyncLookup::Start(Kind kind, std::string name) {
    std::shared_ptr<AsyncLookup> lookup(new AsyncLookup(kind, std::move(name)));
    lookup->ready_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (lookup->ready_fd_ < 0) {
        throw std::system_error(errno, std::generic_category(), "eventfd");
    }
    std::thread([self = lookup->shared_from_this()] { self->Run(); }).detach();
    return lookup;
}

void AsyncLookup::Run() {
    const LookupResult found = LookUp(kind_, name_);
    {
        const std::lock_guard<std::mutex> guard(mutex_);
        result_ = found;
    }
    const std::uint64_t one = 1;
    // An eventfd counter cannot overflow from a single add, so the write cannot fail.
    [[maybe_unused]] const ssize_t written = write(ready_fd_, &one, sizeof one);
}

LookupResult AsyncLookup::Result() const {
    const std::lock_guard<std::mutex> guard(mutex_);
    return result_;
}

}  // namespace station::net
