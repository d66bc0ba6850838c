#include "net/win_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "net/name_lookup.h"
#include "net/socket_error.h"

namespace station::net {
namespace {

TErrorEvent ErrorEventFor(std::uint8_t code) {
    switch (code) {
        case notice::kRead:
            return kErrReceive;
        case notice::kWrite:
            return kErrSend;
        case notice::kAccept:
            return kErrAccept;
        case notice::kConnect:
            return kErrConnect;
        case notice::kClose:
            return kErrDisconnect;
        default:
            return kErrGeneral;
    }
}

constexpr int kReceiveBufferBytes = 128 * 1024;

bool WouldBlock(int code) {
    return code == EAGAIN || code == EWOULDBLOCK || code == EINTR;
}

// A port number as the peer sees it. Numbers the protocol cannot carry are refused instead of
// being cut to 16 bits, which would reach some other service.
in_port_t CheckedPort(std::int32_t port) {
    if (port < 1 || port > 65535) {
        throw ESocketError("Invalid port number " + std::to_string(port));
    }
    return htons(static_cast<std::uint16_t>(port));
}

void SetNonBlocking(int fd, bool on) {
    const int flags = fcntl(fd, F_GETFL);
    fcntl(fd, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK);
}

}  // namespace

class TCustomWinSocket::LockScope {
public:
    explicit LockScope(TCustomWinSocket& socket) : socket_(socket) { socket_.LockSocket(); }
    ~LockScope() { socket_.UnlockSocket(); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

private:
    TCustomWinSocket& socket_;
};

TCustomWinSocket::TCustomWinSocket(EventLoop& loop, int handle)
    : connected_(handle != kInvalidSocket), loop_(loop), handle_(handle) {
    ResetPeerAddress();
}

TCustomWinSocket::~TCustomWinSocket() {
    event_sink_ = nullptr;
    try {
        if (connected_ && handle_.Get() != kInvalidSocket) {
            CloseConnection(handle_.Get());
        }
    } catch (const ESocketError&) {
        // The descriptor is gone whatever close(2) said; nobody is left to tell.
    }
    CancelLookup();
    AbandonEndpoint();
}

void TCustomWinSocket::ResetPeerAddress() {
    peer_ = sockaddr_in{};
    peer_.sin_family = AF_INET;
}

void TCustomWinSocket::NotifyEvent(TSocketNotice kind) {
    if (event_sink_) {
        event_sink_(*this, kind);
    }
}

void TCustomWinSocket::NotifyError(TErrorEvent event, int& error_code) {
    if (error_sink_) {
        error_sink_(*this, event, error_code);
    }
}

void TCustomWinSocket::HandleConnected(int /*handle*/) {}

void TCustomWinSocket::OpenConnection(const std::string& name, const std::string& address,
                                      const std::string& service, std::int32_t port, bool block) {
    if (connected_) {
        throw ESocketError("Socket already open");
    }
    // An earlier attempt that never connected_ (refused, still connecting or resolving) gives
    // way: its endpoint and its notifications end here, silently.
    CancelLookup();
    AbandonEndpoint();
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw ESocketError("Can't create new socket");
    }
    handle_ = FileDescriptor(fd);
    // Everything waiting is read and handled in one event, so what may wait is bounded: a
    // flooding peer then costs the loop a few milliseconds per event, never a long freeze.
    // A scale sends a few lines a second; this holds seconds of the fastest ones.
    const int receive_buffer = kReceiveBufferBytes;
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receive_buffer, sizeof receive_buffer);
    resolve_stage_ = TResolveStage::kRsIdle;
    try {
        NotifyEvent(kSnLookup);
        if (block) {
            peer_ = ResolveNow(name, address, service, port);
            StartConnect();
        } else {
            AdvanceResolve(name, address, service, port);
        }
    } catch (...) {
        CloseConnection(handle_.Get());
        throw;
    }
}

void TCustomWinSocket::AdvanceResolve(const std::string& name, const std::string& address,
                                      const std::string& service, std::int32_t port) {
    for (;;) {
        switch (resolve_stage_) {
            case TResolveStage::kRsIdle:
                if (!name.empty()) {
                    StartLookup(LookupKind::kHost, name, "WSAASyncGetHostByName");
                    pending_service_ = service;
                    pending_port_ = port;
                    resolve_stage_ = TResolveStage::kRsAddress;
                    return;
                }
                if (address.empty()) {
                    throw ESocketError("No address specified");
                }
                resolve_stage_ = TResolveStage::kRsAddress;
                // Not a dotted address: 255.255.255.255, which connect then refuses.
                peer_.sin_addr.s_addr = inet_addr(address.c_str());
                break;
            case TResolveStage::kRsAddress:
                if (!service.empty()) {
                    StartLookup(LookupKind::kService, service, "WSAASyncGetServByName");
                    resolve_stage_ = TResolveStage::kRsService;
                    return;
                }
                resolve_stage_ = TResolveStage::kRsService;
                peer_.sin_port = CheckedPort(port);
                break;
            case TResolveStage::kRsService:
                resolve_stage_ = TResolveStage::kRsIdle;
                StartConnect();
                return;
        }
    }
}

void TCustomWinSocket::AdvanceResolveGuarded(const std::string& service, std::int32_t port) {
    try {
        AdvanceResolve({}, {}, service, port);
    } catch (...) {
        CloseConnection(handle_.Get());
        throw;
    }
}

void TCustomWinSocket::StartLookup(LookupKind kind, const std::string& name, const char* api) {
    const std::uint64_t request = last_request_ + 1;
    try {
        lookup_ = RunOffLoop<LookupResult>(
            loop_, [kind, name] { return LookUp(kind, name); },
            [this, request](LookupResult result) { HandleLookupDone(request, result); });
    } catch (const std::system_error& error) {
        throw PlatformCallError(error.code().value(), api);
    }
    last_request_ = request;
    lookup_request_ = request;
}

void TCustomWinSocket::HandleLookupDone(std::uint64_t request, const LookupResult& result) {
    if (request != lookup_request_) {
        return;
    }
    CancelLookup();
    if (result.error != 0) {
        CloseConnection(handle_.Get());
        throw PlatformCallError(result.error, "ASync Lookup");
    }
    if (resolve_stage_ == TResolveStage::kRsAddress) {
        peer_.sin_addr.s_addr = result.address;
        AdvanceResolveGuarded(std::string(pending_service_), pending_port_);
    } else if (resolve_stage_ == TResolveStage::kRsService) {
        peer_.sin_port = result.port;
        pending_port_ = 0;
        pending_service_.clear();
        AdvanceResolveGuarded({}, 0);
    }
}

sockaddr_in TCustomWinSocket::ResolveNow(const std::string& name, const std::string& address,
                                         const std::string& service, std::int32_t port) const {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    if (!name.empty()) {
        peer.sin_addr.s_addr = ResolveHostNow(name);
    } else if (!address.empty()) {
        peer.sin_addr.s_addr = inet_addr(address.c_str());
    } else {
        throw ESocketError("No address specified");
    }
    peer.sin_port = service.empty() ? CheckedPort(port) : htons(ResolveServiceNow(service));
    return peer;
}

void TCustomWinSocket::StartConnect() {
    ApplyNotifyMask();
    awaiting_connect_ = (notify_mask_ & notice::kConnect) != 0;
    UpdateInterest();
    NotifyEvent(kSnConnecting);
    const int rc = connect(handle_.Get(), reinterpret_cast<const sockaddr*>(&peer_), sizeof peer_);
    CheckSocketCall(rc, "connect");
    resolve_stage_ = TResolveStage::kRsIdle;
    if (awaiting_connect_) {
        return;
    }
    connected_ = handle_.Get() != kInvalidSocket;
    NotifyEvent(kSnConnect);
}

void TCustomWinSocket::SetNotifyMask(std::uint8_t mask) {
    if (mask == notify_mask_) {
        return;
    }
    notify_mask_ = mask;
    if (handle_.Get() != kInvalidSocket) {
        ApplyNotifyMask();
    }
}

void TCustomWinSocket::ApplyNotifyMask() {
    if (handle_.Get() == kInvalidSocket) {
        return;
    }
    if (notify_mask_ == 0) {
        watch_.reset();
        awaiting_connect_ = false;
        SetNonBlocking(handle_.Get(), false);
        return;
    }
    SetNonBlocking(handle_.Get(), true);
    if (!watch_) {
        const std::uint64_t endpoint = endpoint_serial_;
        watch_ = loop_.Watch(handle_.Get(), [this, endpoint](bool readable, bool /*writable*/) {
            HandleEndpointReady(endpoint, readable);
        });
        read_armed_ = connected_;
    }
    UpdateInterest();
}

void TCustomWinSocket::UpdateInterest() {
    if (watch_) {
        // While connecting, hang-ups come as readable; either way completes the attempt.
        watch_->SetInterest(awaiting_connect_ || read_armed_, awaiting_connect_);
    }
}

void TCustomWinSocket::RearmRead(int handle) {
    if (handle == handle_.Get() && watch_ && !read_armed_ && !endpoint_failed_) {
        read_armed_ = true;
        UpdateInterest();
    }
}

// Turns the level-triggered readiness of the loop into the platform's one-shot notices:
// connect completion, data waiting, write-ready after connecting, close, and errors.
void TCustomWinSocket::HandleEndpointReady(std::uint64_t endpoint, bool readable) {
    if (endpoint != endpoint_serial_ || handle_.Get() == kInvalidSocket) {
        return;
    }
    if (awaiting_connect_) {
        HandleConnectCompletion(endpoint, handle_.Get());
    } else {
        HandleDataOrClose(handle_.Get(), readable);
    }
}

void TCustomWinSocket::HandleConnectCompletion(std::uint64_t endpoint, int fd) {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length);
    sockaddr_in peer{};
    socklen_t peer_length = sizeof peer;
    if (error == 0 && getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0) {
        return;  // still under way
    }
    awaiting_connect_ = false;
    read_armed_ = error == 0;
    UpdateInterest();
    if (error == 0) {
        loop_.Post([this, alive = std::weak_ptr<int>(alive_), endpoint, fd] {
            if (!alive.expired() && endpoint == endpoint_serial_) {
                HandleSocketNotify(fd, notice::kWrite, 0);
            }
        });
    }
    HandleSocketNotify(fd, notice::kConnect, error);
}

void TCustomWinSocket::HandleDataOrClose(int fd, bool readable) {
    if (!readable || !read_armed_) {
        return;
    }
    int waiting = 0;
    ioctl(fd, FIONREAD, &waiting);
    std::uint8_t code = notice::kRead;
    int error = 0;
    if (waiting <= 0) {
        char probe = 0;
        const ssize_t peeked = recv(fd, &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (peeked < 0 && WouldBlock(errno)) {
            return;
        }
        if (peeked <= 0) {
            code = notice::kClose;
            error = peeked == 0 ? 0 : errno;
            endpoint_failed_ = error != 0;
        }
    }
    read_armed_ = false;
    UpdateInterest();
    HandleSocketNotify(fd, code, error);
}

void TCustomWinSocket::HandleSocketNotify(int handle, std::uint8_t code, int error) {
    if (error != 0) {
        int reported = error;
        NotifyError(ErrorEventFor(code), reported);
        if (reported != 0) {
            throw ESocketError("Asynchronous socket error " + std::to_string(reported));
        }
        return;
    }
    switch (code) {
        case notice::kConnect:
            HandleConnected(handle);
            break;
        case notice::kClose:
            CloseConnection(handle);
            break;
        case notice::kRead:
            HandleReadable(handle);
            break;
        case notice::kWrite:
            HandleWritable(handle);
            break;
        default:
            break;
    }
}

void TCustomWinSocket::HandleReadable(int handle) {
    if (handle_.Get() != kInvalidSocket && handle == handle_.Get()) {
        NotifyEvent(kSnRead);
    }
}

void TCustomWinSocket::HandleWritable(int handle) {
    if (handle_.Get() != kInvalidSocket && handle == handle_.Get()) {
        NotifyEvent(kSnWrite);
    }
}

std::int32_t TCustomWinSocket::ReadInto(void* buffer, std::int32_t count) {
    LockScope scope(*this);
    if (count == -1 && connected_) {
        int waiting = 0;
        ioctl(handle_.Get(), FIONREAD, &waiting);
        return waiting;
    }
    if (!connected_) {
        return 0;
    }
    if (count < 0) {
        return -1;
    }
    const int fd = handle_.Get();
    const ssize_t got = recv(fd, buffer, static_cast<std::size_t>(count), 0);
    int code = got < 0 ? errno : 0;
    if (got >= 0 || WouldBlock(code)) {
        RearmRead(fd);
        return got < 0 ? -1 : static_cast<std::int32_t>(got);
    }
    NotifyError(kErrReceive, code);
    CloseConnection(handle_.Get());
    if (code != 0) {
        throw PlatformCallError(code, "recv");
    }
    return -1;
}

std::string TCustomWinSocket::ReadPendingText() {
    const std::int32_t waiting = ReadInto(nullptr, -1);
    std::string text(static_cast<std::size_t>(waiting > 0 ? waiting : 0), '\0');
    const std::int32_t got = ReadInto(text.data(), waiting > 0 ? waiting : 0);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return text;
}

void TCustomWinSocket::CloseConnection(int handle) {
    LockScope scope(*this);
    CancelLookup();
    if (handle == kInvalidSocket || handle != handle_.Get()) {
        return;
    }
    NotifyEvent(kSnDisconnect);
    if (handle != handle_.Get()) {
        return;  // a handler has already closed it
    }
    // close(2) releases the descriptor even when it reports an error, so the fields are reset
    // before the error is raised: keeping the number would later close someone else's file.
    FileDescriptor endpoint = ReleaseEndpoint();
    ResetPeerAddress();
    if (!endpoint.Close()) {
        throw PlatformCallError(errno, "closesocket");
    }
}

void TCustomWinSocket::CancelLookup() {
    lookup_request_ = 0;
    lookup_.reset();
}

FileDescriptor TCustomWinSocket::ReleaseEndpoint() {
    watch_.reset();
    ++endpoint_serial_;
    connected_ = false;
    awaiting_connect_ = false;
    read_armed_ = false;
    endpoint_failed_ = false;
    return std::exchange(handle_, FileDescriptor());
}

void TCustomWinSocket::AbandonEndpoint() {
    ReleaseEndpoint();  // closed as it goes
}

void TClientWinSocket::SetClientType(TClientType type) {
    if (type == client_type_) {
        return;
    }
    if (IsConnected()) {
        throw ESocketError("Can't change value while socket is active");
    }
    client_type_ = type;
    SetNotifyMask(type == TClientType::kCtBlocking ? 0 : notice::kClientMask);
}

void TClientWinSocket::HandleConnected(int /*handle*/) {
    MarkConnected();
    NotifyEvent(kSnConnect);
}

}  // namespace station::net
