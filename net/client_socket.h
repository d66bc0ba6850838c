#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/event_loop.h"
#include "net/win_socket.h"

namespace station::net {

class TClientSocket;

using TSocketNotifyEvent = std::function<void(TClientSocket& sender, TCustomWinSocket& socket)>;
using TSocketErrorEvent = std::function<void(TClientSocket& sender, TCustomWinSocket& socket,
                                             TErrorEvent error_event, int& error_code)>;

// A TCP client connection as a component: set Address and Port, then Active := true; the
// progress arrives as events from the event loop. `Active` turns true only when the connection
// is established and false when it ends, never in the assignment itself.
class TClientSocket {
public:
    TClientSocket(EventLoop& loop, std::string name);
    TClientSocket(const TClientSocket&) = delete;
    TClientSocket& operator=(const TClientSocket&) = delete;

    // The component's name, by which shared handlers tell the components apart.
    const std::string& Name() const { return name_; }

    bool Active() const { return active_; }
    void SetActive(bool value);
    const std::string& Address() const { return address_; }
    void SetAddress(const std::string& value);
    const std::string& Host() const { return host_; }
    void SetHost(const std::string& value);
    const std::string& Service() const { return service_; }
    void SetService(const std::string& value);
    std::int32_t Port() const { return port_; }
    void SetPort(std::int32_t value);
    TClientType ClientType() const { return win_socket_.ClientType(); }
    void SetClientType(TClientType value) { win_socket_.SetClientType(value); }
    TClientWinSocket& WinSocket() { return win_socket_; }

    TSocketNotifyEvent OnLookup;
    TSocketNotifyEvent OnConnecting;
    TSocketNotifyEvent OnConnect;
    TSocketNotifyEvent OnDisconnect;
    TSocketNotifyEvent OnRead;
    TSocketNotifyEvent OnWrite;
    TSocketErrorEvent OnError;

private:
    void ApplyActive(bool value);
    void DispatchEvent(TCustomWinSocket& socket, TSocketNotice kind);
    void DispatchError(TCustomWinSocket& socket, TErrorEvent error_event, int& error_code);
    void Call(const TSocketNotifyEvent& handler, TCustomWinSocket& socket);

    const std::string name_;
    bool active_ = false;
    std::int32_t port_ = 0;
    std::string address_;
    std::string host_;
    std::string service_;
    // Destroyed first; it unhooks itself from this component before closing its endpoint, so a
    // destroyed component raises no OnDisconnect.
    TClientWinSocket win_socket_;
};

}  // namespace station::net
