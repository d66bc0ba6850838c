#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace station::net {

// What a host or service lookup found: the first IPv4 address, or the TCP port, both in
// network byte order. `error` is 0 or the resolver's code.
struct LookupResult {
    int error = 0;
    in_addr_t address = 0;
    std::uint16_t port = 0;
};

// One host or service lookup on a thread of its own, so the loop's thread never waits for a name
// server. The result is announced on `ready_fd()`, which the loop can watch; dropping the last
// reference before then abandons the lookup (the thread keeps its own until it ends).
class AsyncLookup : public std::enable_shared_from_this<AsyncLookup> {
public:
    enum class Kind { kHost, kService };

    // Throws std::system_error when no thread or descriptor can be had.
    static std::shared_ptr<AsyncLookup> Start(Kind kind, std::string name);
    ~AsyncLookup();
    AsyncLookup(const AsyncLookup&) = delete;
    AsyncLookup& operator=(const AsyncLookup&) = delete;

    int ReadyFd() const { return ready_fd_; }
    // Valid once `ready_fd()` has become readable.
    LookupResult Result() const;

private:
    AsyncLookup(Kind kind, std::string name);
    void Run();

    const Kind kind_;
    const std::string name_;
    int ready_fd_ = -1;
    mutable std::mutex mutex_;
    LookupResult result_;
};

// The same lookups, waiting for the answer; 0 when nothing is found.
in_addr_t ResolveHostNow(const std::string& name);
std::uint16_t ResolveServiceNow(const std::string& service);

}  // namespace station::net
