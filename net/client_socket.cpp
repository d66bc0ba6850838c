#include "net/client_socket.h"

#include <algorithm>
#include <cctype>

#include "net/socket_error.h"

namespace station::net {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

// Host names and addresses are compared the way resolvers do: a change of letter case is
// no change, and the stored text keeps its case.
void StoreText(std::string& field, const std::string& value, bool active) {
    if (SameIgnoringCase(field, value)) {
        return;
    }
    if (active) {
        throw ESocketError("Can't change value while socket is active");
    }
    field = value;
}

}  // namespace

TClientSocket::TClientSocket(EventLoop& loop, std::string name)
    : name_(std::move(name)), win_socket_(loop, kInvalidSocket) {
    win_socket_.SetEventSink(
        [this](TCustomWinSocket& socket, TSocketNotice kind) { DispatchEvent(socket, kind); });
    win_socket_.SetErrorSink([this](TCustomWinSocket& socket, TErrorEvent event, int& code) {
        DispatchError(socket, event, code);
    });
}

void TClientSocket::SetActive(bool value) {
    if (value != active_) {
        ApplyActive(value);
    }
}

void TClientSocket::ApplyActive(bool value) {
    TClientWinSocket& socket = win_socket_;
    if (value == socket.IsConnected()) {
        return;
    }
    if (socket.IsConnected()) {
        socket.CloseConnection(socket.SocketHandle());
    } else {
        socket.OpenConnection(host_, address_, service_, port_,
                              socket.ClientType() == TClientType::kCtBlocking);
    }
}

void TClientSocket::SetAddress(const std::string& value) {
    StoreText(address_, value, active_);
}

void TClientSocket::SetHost(const std::string& value) {
    StoreText(host_, value, active_);
}

void TClientSocket::SetService(const std::string& value) {
    StoreText(service_, value, active_);
}

void TClientSocket::SetPort(std::int32_t value) {
    if (value == port_) {
        return;
    }
    if (active_) {
        throw ESocketError("Can't change value while socket is active");
    }
    port_ = value;
}

void TClientSocket::Call(const TSocketNotifyEvent& handler, TCustomWinSocket& socket) {
    if (handler) {
        handler(*this, socket);
    }
}

void TClientSocket::DispatchEvent(TCustomWinSocket& socket, TSocketNotice kind) {
    switch (kind % 128) {
        case kSnLookup:
            Call(OnLookup, socket);
            break;
        case kSnConnecting:
            Call(OnConnecting, socket);
            break;
        case kSnConnect:
            active_ = true;
            Call(OnConnect, socket);
            break;
        case kSnDisconnect:
            active_ = false;
            Call(OnDisconnect, socket);
            break;
        case kSnWrite:
            Call(OnWrite, socket);
            break;
        case kSnRead:
            Call(OnRead, socket);
            break;
        default:
            break;  // listening-side notices never reach a client
    }
}

void TClientSocket::DispatchError(TCustomWinSocket& socket, TErrorEvent error_event,
                                  int& error_code) {
    if (OnError) {
        OnError(*this, socket, error_event, error_code);
    }
}

}  // namespace station::net
