#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/time_source.h"
#include "ledger/page/page_request.h"
#include "ledger/page/worker_pool.h"

struct MHD_Connection;
struct MHD_Daemon;

namespace station::ledger {

// A request as the page reads it: its headers are in, its body (none is wanted) ignored.
struct HttpRequest {
    std::string method;
    std::string path;
    Parameters parameters;      // the query's arguments, decoded; the first of a repeated name
    std::string host;           // the Host header
    std::string authorization;  // the Authorization header
};

// A body made while it goes out, a piece at a time, on the server's workers.
class BodySource {
public:
    struct Piece {
        enum class Kind { kBytes, kLater, kEnd };
        Kind kind = Kind::kEnd;
        std::string bytes;
    };
    virtual ~BodySource() = default;
    // The next bytes; kLater: nothing yet, ask again after the server's next Wake.
    virtual Piece Next() = 0;
};

struct HttpResponse {
    int status = 200;
    std::string type = "text/plain; charset=utf-8";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::unique_ptr<BodySource> source;  // when set, the body instead of `body`
};

struct HttpServerSettings {
    std::string host = "127.0.0.1";
    int port = 0;
    std::string cert_pem;  // with key_pem: TLS 1.2 or 1.3, ECDHE and AEAD suites only
    std::string key_pem;
    // Beyond this many open connections a request is answered 503; a few more are closed unread.
    std::size_t most_connections = 1000;
    // Open connections from one address; more are closed at once, so that one address holding
    // idle connections cannot take the others' (0: no such limit).
    unsigned most_per_address = 32;
    // From a connection's start, or the end of its last answer, to its next request's last header.
    std::chrono::seconds request_time{10};
    // A body that said kLater is asked again at least this often.
    std::chrono::seconds ask_again{1};
    int workers = 4;
    // Requests waiting for a worker (a burst of live pages too); beyond them a request is
    // answered 503 at once rather than held, and the end waits for none of them.
    std::size_t most_waiting = 1024;
};

// The page's HTTP server, made for untrusted clients (libmicrohttpd under it): event-driven, so an
// open live page holds no thread; a connection whose request is not whole `request_time` after it
// began is cut, whatever it sends meanwhile; a request's headers live in a fixed memory pool per
// connection (431 beyond it); connections beyond the limit get 503. Answers are made by `answer`
// on a small pool of workers, so a slow database holds no connection's reading or writing; the
// requests waiting for them are bounded, and those still waiting when it ends are answered 503
// unmade, so that it ends as soon as the answers in hand are made.
class HttpServer {
public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    // `time` times the requests and the waiting bodies, on the server's threads. Throws
    // std::runtime_error when it cannot listen or the certificate cannot be used.
    HttpServer(const HttpServerSettings& settings, Handler answer,
               const TimeSource& time = SteadyTime::Instance());
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int Port() const { return port_; }
    // Asks again every body that said kLater.
    void Wake();

private:
    struct Exchange;
    struct Stream;
    struct Watched {
        int fd = -1;
        TimeSource::TimePoint since;
        bool in_request = false;  // the headers are in: no longer the watch's business
        bool cut = false;
    };

    friend struct HttpCallbacks;  // libmicrohttpd's callbacks, which see the members below

    void Fill(Stream& stream);
    void Watch();

    HttpServerSettings settings_;
    Handler answer_;
    const TimeSource& time_;
    int port_ = 0;
    std::atomic<bool> closing_{false};

    // Make the answers, a new request's bounded; one's `drop` answers it unmade, at the end.
    WorkerPool workers_;

    std::mutex waiting_mutex_;
    std::atomic<std::uint64_t> wakes_{0};
    std::vector<MHD_Connection*> waiting_;  // suspended until the next Wake

    std::mutex watch_mutex_;
    std::condition_variable watch_stop_;
    std::map<MHD_Connection*, Watched> watched_;
    std::thread watch_;

    MHD_Daemon* daemon_ = nullptr;  // last: stopped first
};

}  // namespace station::ledger
