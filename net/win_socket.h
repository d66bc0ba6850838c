#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/event_loop.h"
#include "base/file_descriptor.h"
#include "base/off_loop.h"
#include "net/critical_section.h"
#include "net/name_lookup.h"

namespace station::net {

enum class TClientType : std::uint8_t { kCtNonBlocking = 0, kCtBlocking = 1 };

enum TSocketNotice : std::uint8_t {
    kSnLookup = 0,
    kSnConnecting = 1,
    kSnConnect = 2,
    kSnDisconnect = 3,
    kSnListen = 4,
    kSnAccept = 5,
    kSnWrite = 6,
    kSnRead = 7,
};

enum TErrorEvent : std::uint8_t {
    kErrGeneral = 0,
    kErrSend = 1,
    kErrReceive = 2,
    kErrConnect = 3,
    kErrDisconnect = 4,
    kErrAccept = 5,
};

enum class TResolveStage : std::uint8_t { kRsIdle = 0, kRsAddress = 1, kRsService = 2 };

// Notification codes, with the values of the asynchronous select the component was designed on.
namespace notice {
constexpr std::uint8_t kRead = 0x01;
constexpr std::uint8_t kWrite = 0x02;
constexpr std::uint8_t kAccept = 0x08;
constexpr std::uint8_t kConnect = 0x10;
constexpr std::uint8_t kClose = 0x20;
constexpr std::uint8_t kClientMask = kRead | kWrite | kConnect | kClose;
}  // namespace notice

constexpr int kInvalidSocket = -1;

// One TCP endpoint and what happens to it: resolving the peer, connecting, the notifications of
// the event loop turned into events, reading, closing. Events and errors go to the sinks the
// owning component installs. Everything runs on the loop's thread.
class TCustomWinSocket {
public:
    using EventSink = std::function<void(TCustomWinSocket& socket, TSocketNotice kind)>;
    using ErrorSink =
        std::function<void(TCustomWinSocket& socket, TErrorEvent event, int& error_code)>;

    TCustomWinSocket(EventLoop& loop, int handle);
    virtual ~TCustomWinSocket();
    TCustomWinSocket(const TCustomWinSocket&) = delete;
    TCustomWinSocket& operator=(const TCustomWinSocket&) = delete;

    int SocketHandle() const { return handle_.Get(); }
    bool IsConnected() const { return connected_; }
    const sockaddr_in& PeerAddress() const { return peer_; }

    void SetEventSink(EventSink sink) { event_sink_ = std::move(sink); }
    void SetErrorSink(ErrorSink sink) { error_sink_ = std::move(sink); }
    void SetNotifyMask(std::uint8_t mask);

    // `port` is checked here rather than cut to 16 bits: 0, negative or above 65535 is refused.
    void OpenConnection(const std::string& name, const std::string& address,
                        const std::string& service, std::int32_t port, bool block);
    // Raises snDisconnect and closes the endpoint when `handle` is the current one; a pending
    // lookup is cancelled in any case.
    void CloseConnection(int handle);

    // Bytes read; with `count` -1 the bytes waiting; 0 when not connected; -1 when nothing
    // could be read.
    std::int32_t ReadInto(void* buffer, std::int32_t count);
    // Every byte waiting now, in one read; empty when none.
    std::string ReadPendingText();

    void LockSocket() { lock_.Enter(); }
    void UnlockSocket() { lock_.Leave(); }

protected:
    virtual void HandleConnected(int handle);
    void NotifyEvent(TSocketNotice kind);
    void NotifyError(TErrorEvent event, int& error_code);
    void MarkConnected() { connected_ = true; }

private:
    class LockScope;

    void AdvanceResolve(const std::string& name, const std::string& address,
                        const std::string& service, std::int32_t port);
    void AdvanceResolveGuarded(const std::string& service, std::int32_t port);
    void StartLookup(LookupKind kind, const std::string& name, const char* api);
    void HandleLookupDone(std::uint64_t request, const LookupResult& result);
    sockaddr_in ResolveNow(const std::string& name, const std::string& address,
                           const std::string& service, std::int32_t port) const;
    void StartConnect();
    void ApplyNotifyMask();
    void UpdateInterest();
    void RearmRead(int handle);
    void HandleEndpointReady(std::uint64_t endpoint, bool readable);
    void HandleConnectCompletion(std::uint64_t endpoint, int fd);
    void HandleDataOrClose(int fd, bool readable);
    void HandleSocketNotify(int handle, std::uint8_t code, int error);
    void HandleReadable(int handle);
    void HandleWritable(int handle);
    void CancelLookup();
    // Takes the endpoint out of every field; it closes when the result goes.
    FileDescriptor ReleaseEndpoint();
    void AbandonEndpoint();
    void ResetPeerAddress();

    bool connected_ = false;
    EventLoop& loop_;
    FileDescriptor handle_;
    sockaddr_in peer_{};
    std::uint8_t notify_mask_ = notice::kClientMask;
    TResolveStage resolve_stage_ = TResolveStage::kRsIdle;
    std::uint64_t lookup_request_ = 0;
    std::uint64_t last_request_ = 0;
    std::unique_ptr<OffLoopWork> lookup_;
    EventSink event_sink_;
    ErrorSink error_sink_;
    TCriticalSection lock_;
    std::string pending_service_;
    std::int32_t pending_port_ = 0;

    // The endpoint's place in the event loop. The serial tells the current endpoint from an
    // earlier one that had the same descriptor number.
    std::unique_ptr<FdWatch> watch_;
    std::uint64_t endpoint_serial_ = 0;
    bool awaiting_connect_ = false;
    // Cleared when a data notice goes out and set again by the next read, so an unread batch is
    // announced once, not on every turn of the loop.
    bool read_armed_ = false;
    // The connection broke; the endpoint stays until the component is deactivated, silent.
    bool endpoint_failed_ = false;
    // Lets a posted notice find out whether this object still exists.
    std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

// The client side: the connection type and the completion of a connect.
class TClientWinSocket : public TCustomWinSocket {
public:
    using TCustomWinSocket::TCustomWinSocket;

    TClientType ClientType() const { return client_type_; }
    void SetClientType(TClientType type);

protected:
    void HandleConnected(int handle) override;

private:
    TClientType client_type_ = TClientType::kCtNonBlocking;
};

}  // namespace station::net
