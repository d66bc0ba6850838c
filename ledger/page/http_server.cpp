#include "ledger/page/http_server.h"

#include <microhttpd.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace station::ledger {
namespace {

// Each connection's memory for its request line, headers and what it writes: a request that does
// not fit is answered by the library (431 or 414, its own words) without growing anything. One
// that fits but is longer than any browser's is answered in ours.
constexpr std::size_t kConnectionMemory = std::size_t{32} * 1024;
constexpr std::size_t kLongestTarget = std::size_t{8} * 1024;
constexpr std::size_t kLargestHeaders = std::size_t{16} * 1024;
// Connections over the limit that are still read, for a 503; beyond them, closed unread.
constexpr std::size_t kSpareConnections = 16;
constexpr unsigned kPollingThreads = 2;
constexpr std::size_t kStreamBlock = std::size_t{32} * 1024;
// The 503 answers' bodies: too much at once, and the server ending.
constexpr const char* kBusy = "Serwer zajęty";
constexpr const char* kEnding = "Serwer kończy pracę";
// Versions and suites a browser of this decade offers; the ones with known weaknesses not at all.
constexpr const char* kTlsPriorities =
    "SECURE:-VERS-ALL:+VERS-TLS1.3:+VERS-TLS1.2:-CIPHER-ALL:+AES-256-GCM:+AES-128-GCM:"
    "+CHACHA20-POLY1305:-MAC-ALL:+AEAD:-KX-ALL:+ECDHE-RSA:+ECDHE-ECDSA";

struct AddressInfo {
    addrinfo* list = nullptr;
    ~AddressInfo() {
        if (list != nullptr) {
            freeaddrinfo(list);
        }
    }
};

MHD_Result CollectArgument(void* parameters, MHD_ValueKind, const char* key, std::size_t key_size,
                           const char* value, std::size_t value_size) {
    static_cast<Parameters*>(parameters)
        ->emplace(std::string(key, key_size),
                  value != nullptr ? std::string(value, value_size) : std::string());
    return MHD_YES;
}

MHD_Result CountBytes(void* bytes, MHD_ValueKind, const char*, std::size_t key_size, const char*,
                      std::size_t value_size) {
    *static_cast<std::size_t*>(bytes) += key_size + value_size + 4;  // ": " and CR LF, or "&="
    return MHD_YES;
}

std::size_t BytesOf(MHD_Connection* connection, MHD_ValueKind kind) {
    std::size_t bytes = 0;
    MHD_get_connection_values_n(connection, kind, &CountBytes, &bytes);
    return bytes;
}

std::string HeaderOf(MHD_Connection* connection, const char* name) {
    const char* value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value != nullptr ? value : "";
}

}  // namespace

// One request on a connection, from its headers to its answer's end.
struct HttpServer::Exchange {
    HttpRequest request;
    HttpResponse answer;
    bool submitted = false;
    bool answered = false;
};

// A body made by a BodySource: what it gave last, and how far it went out.
struct HttpServer::Stream {
    HttpServer& server;
    MHD_Connection* connection;
    std::unique_ptr<BodySource> source;
    std::string piece;
    std::size_t sent = 0;
    bool ended = false;
    bool failed = false;  // the source threw: the answer ends broken, never looking whole
};

struct HttpCallbacks {
    static MHD_Result Access(void* self, MHD_Connection* connection, const char* url,
                             const char* method, const char*, const char*, std::size_t* upload_size,
                             void** context) {
        auto& server = *static_cast<HttpServer*>(self);
        auto* exchange = static_cast<HttpServer::Exchange*>(*context);
        if (exchange == nullptr) {
            // The headers are in: the request is whole, and the slow-client watch lets go.
            std::size_t open = 0;
            {
                const std::lock_guard lock(server.watch_mutex_);
                server.watched_[connection].in_request = true;
                open = server.watched_.size();
            }
            exchange = new HttpServer::Exchange;
            *context = exchange;
            exchange->request.method = method;
            exchange->request.path = url;
            MHD_get_connection_values_n(connection, MHD_GET_ARGUMENT_KIND, &CollectArgument,
                                        &exchange->request.parameters);
            exchange->request.host = HeaderOf(connection, MHD_HTTP_HEADER_HOST);
            exchange->request.authorization = HeaderOf(connection, MHD_HTTP_HEADER_AUTHORIZATION);
            // Answered at once, before any body is read: the daemon takes an answer only now or
            // once the whole request is in.
            if (open > server.settings_.most_connections || server.closing_) {
                exchange->answer = {503, "text/plain; charset=utf-8", kBusy, {}, {}};
            } else if (std::strlen(url) + BytesOf(connection, MHD_GET_ARGUMENT_KIND) >
                       kLongestTarget) {
                exchange->answer = {
                    414, "text/plain; charset=utf-8", "Adres zapytania za długi", {}, {}};
            } else if (BytesOf(connection, MHD_HEADER_KIND) > kLargestHeaders) {
                exchange->answer = {
                    431, "text/plain; charset=utf-8", "Nagłówki zapytania za duże", {}, {}};
            } else if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0 &&
                       std::strcmp(method, MHD_HTTP_METHOD_HEAD) != 0) {
                exchange->answer = {405, "text/plain; charset=utf-8", "Tylko odczyt", {}, {}};
                exchange->answer.headers.emplace_back("Allow", "GET, HEAD");
            } else if (const std::string length =
                           HeaderOf(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
                       (!length.empty() && length != "0") ||
                       !HeaderOf(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).empty()) {
                exchange->answer = {
                    413, "text/plain; charset=utf-8", "Zapytanie bez treści", {}, {}};
            } else {
                return MHD_YES;
            }
            exchange->answered = true;
            return Queue(server, connection, exchange->answer);
        }
        if (*upload_size != 0) {
            *upload_size = 0;  // none was announced; nothing is kept
        }
        if (exchange->answered) {
            return Queue(server, connection, exchange->answer);
        }
        if (!exchange->submitted) {
            exchange->submitted = true;
            MHD_suspend_connection(connection);
            const auto answer_unmade = [connection, exchange](const char* why) {
                exchange->answer = {503, "text/plain; charset=utf-8", why, {}, {}};
                exchange->answered = true;
                MHD_resume_connection(connection);
            };
            const WorkerPool::Submitted submitted = server.workers_.Submit(
                {[&server, connection, exchange] {
                     try {
                         exchange->answer = server.answer_(exchange->request);
                     } catch (const std::exception&) {
                         exchange->answer = {
                             500, "text/plain; charset=utf-8", "Błąd serwera", {}, {}};
                     }
                     exchange->answered = true;
                     MHD_resume_connection(connection);
                 },
                 [answer_unmade] { answer_unmade(kEnding); }});
            if (submitted != WorkerPool::Submitted::kYes) {
                answer_unmade(submitted == WorkerPool::Submitted::kFull ? kBusy : kEnding);
            }
        }
        return MHD_YES;
    }

    static MHD_Result Queue(HttpServer& server, MHD_Connection* connection, HttpResponse& answer) {
        MHD_Response* response = nullptr;
        if (answer.source) {
            response = MHD_create_response_from_callback(
                MHD_SIZE_UNKNOWN, kStreamBlock, &Read,
                new HttpServer::Stream{
                    server, connection, std::move(answer.source), {}, 0, false, false},
                &FreeStream);
        } else {
            response = MHD_create_response_from_buffer(answer.body.size(), answer.body.data(),
                                                       MHD_RESPMEM_MUST_COPY);
        }
        if (response == nullptr) {
            return MHD_NO;
        }
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, answer.type.c_str());
        for (const auto& [name, value] : answer.headers) {
            MHD_add_response_header(response, name.c_str(), value.c_str());
        }
        const MHD_Result queued =
            MHD_queue_response(connection, static_cast<unsigned>(answer.status), response);
        MHD_destroy_response(response);
        return queued;
    }

    static ssize_t Read(void* opaque, std::uint64_t, char* buffer, std::size_t most) {
        auto& stream = *static_cast<HttpServer::Stream*>(opaque);
        if (stream.sent < stream.piece.size()) {
            const std::size_t count = std::min(most, stream.piece.size() - stream.sent);
            std::copy_n(stream.piece.data() + stream.sent, count, buffer);
            stream.sent += count;
            return static_cast<ssize_t>(count);
        }
        if (stream.failed) {
            return MHD_CONTENT_READER_END_WITH_ERROR;
        }
        if (stream.ended || stream.server.closing_) {
            return MHD_CONTENT_READER_END_OF_STREAM;
        }
        // The next piece is made off this thread; the connection waits, suspended, meanwhile.
        // An answer under way is not held to the bound of waiting requests; cut by the end, it
        // ends broken, never looking whole.
        MHD_suspend_connection(stream.connection);
        const auto cut = [&stream] {
            stream.failed = true;
            MHD_resume_connection(stream.connection);
        };
        if (stream.server.workers_.Submit({[&stream] { stream.server.Fill(stream); }, cut},
                                          false) != WorkerPool::Submitted::kYes) {
            cut();
        }
        return 0;
    }

    static void FreeStream(void* stream) { delete static_cast<HttpServer::Stream*>(stream); }

    static void Completed(void* self, MHD_Connection* connection, void** context,
                          MHD_RequestTerminationCode) {
        delete static_cast<HttpServer::Exchange*>(*context);
        *context = nullptr;
        auto& server = *static_cast<HttpServer*>(self);
        const std::lock_guard lock(server.watch_mutex_);
        if (const auto watched = server.watched_.find(connection);
            watched != server.watched_.end()) {
            // The next request on this connection has its own time from now.
            watched->second.in_request = false;
            watched->second.since = server.time_.Now();
        }
    }

    static void Notified(void* self, MHD_Connection* connection, void**,
                         MHD_ConnectionNotificationCode event) {
        auto& server = *static_cast<HttpServer*>(self);
        const std::lock_guard lock(server.watch_mutex_);
        if (event == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo* info =
                MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            server.watched_[connection] = {info != nullptr ? info->connect_fd : -1,
                                           server.time_.Now(), false, false};
        } else {
            // Said before the socket is closed: the watch never cuts a number reused.
            server.watched_.erase(connection);
        }
    }
};

HttpServer::HttpServer(const HttpServerSettings& settings, Handler answer, const TimeSource& time)
    : settings_(settings),
      answer_(std::move(answer)),
      time_(time),
      workers_(settings.workers, settings.most_waiting) {
    AddressInfo address;
    addrinfo hints{};
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    hints.ai_socktype = SOCK_STREAM;
    const std::string port = std::to_string(settings_.port);
    if (getaddrinfo(settings_.host.c_str(), port.c_str(), &hints, &address.list) != 0) {
        throw std::runtime_error("cannot listen on " + settings_.host + ":" + port +
                                 ": unknown address");
    }
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    if (address.list->ai_family == AF_INET6) {
        flags |= MHD_USE_IPv6;
    }
    std::vector<MHD_OptionItem> options{
        {MHD_OPTION_SOCK_ADDR, 0, address.list->ai_addr},
        {MHD_OPTION_THREAD_POOL_SIZE, kPollingThreads, nullptr},
        {MHD_OPTION_CONNECTION_LIMIT,
         static_cast<intptr_t>(settings_.most_connections + kSpareConnections), nullptr},
        {MHD_OPTION_CONNECTION_MEMORY_LIMIT, kConnectionMemory, nullptr},
        {MHD_OPTION_CONNECTION_TIMEOUT, static_cast<intptr_t>(settings_.request_time.count()),
         nullptr},
        {MHD_OPTION_PER_IP_CONNECTION_LIMIT, static_cast<intptr_t>(settings_.most_per_address),
         nullptr},
        {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&HttpCallbacks::Completed), this},
        {MHD_OPTION_NOTIFY_CONNECTION, reinterpret_cast<intptr_t>(&HttpCallbacks::Notified), this},
    };
    if (!settings_.cert_pem.empty()) {
        flags |= MHD_USE_TLS;
        options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, settings_.cert_pem.data()});
        options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, settings_.key_pem.data()});
        options.push_back({MHD_OPTION_HTTPS_PRIORITIES, 0, const_cast<char*>(kTlsPriorities)});
    }
    options.push_back({MHD_OPTION_END, 0, nullptr});

    // Requests that come before the workers wait in the queue for them.
    daemon_ = MHD_start_daemon(flags, 0, nullptr, nullptr, &HttpCallbacks::Access, this,
                               MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
    if (daemon_ == nullptr) {
        throw std::runtime_error(
            "cannot listen on " + settings_.host + ":" + port +
            (settings_.cert_pem.empty() ? std::string() : " with that certificate and key"));
    }
    port_ = MHD_get_daemon_info(daemon_, MHD_DAEMON_INFO_BIND_PORT)->port;
    watch_ = std::thread([this] { Watch(); });
}

// Workers first, so that no job touches a connection the daemon has closed; then every waiting
// body is woken, to end, since the daemon refuses to stop with a connection suspended.
HttpServer::~HttpServer() {
    closing_ = true;
    workers_.Stop();
    {
        const std::lock_guard lock(watch_mutex_);
        watch_stop_.notify_all();
    }
    watch_.join();
    Wake();
    MHD_stop_daemon(daemon_);
}

void HttpServer::Wake() {
    ++wakes_;
    const std::lock_guard lock(waiting_mutex_);
    for (MHD_Connection* connection : waiting_) {
        MHD_resume_connection(connection);
    }
    waiting_.clear();
}

// A wake between the source's answer and the connection's joining the waiting ones is seen by
// the count of wakes, so none is missed.
void HttpServer::Fill(Stream& stream) {
    const std::uint64_t wakes = wakes_;
    BodySource::Piece piece;
    try {
        piece = stream.source->Next();
    } catch (const std::exception&) {
        stream.failed = true;
        MHD_resume_connection(stream.connection);
        return;
    }
    if (piece.kind == BodySource::Piece::Kind::kLater) {
        const std::lock_guard lock(waiting_mutex_);
        if (wakes == wakes_ && !closing_) {
            waiting_.push_back(stream.connection);
            return;
        }
    }
    stream.piece = std::move(piece.bytes);
    stream.sent = 0;
    stream.ended = piece.kind == BodySource::Piece::Kind::kEnd;
    MHD_resume_connection(stream.connection);
}

// Once a second: a connection whose request is not whole in time is shut, and the daemon closes
// it as it would any that hangs up; every few seconds the waiting bodies are asked again.
void HttpServer::Watch() {
    auto last_wake = time_.Now();
    std::unique_lock lock(watch_mutex_);
    while (!closing_) {
        watch_stop_.wait_for(lock, std::chrono::seconds(1));
        const auto now = time_.Now();
        for (auto& [connection, watched] : watched_) {
            if (!watched.in_request && !watched.cut && watched.fd >= 0 &&
                now - watched.since >= settings_.request_time) {
                ::shutdown(watched.fd, SHUT_RDWR);
                watched.cut = true;
            }
        }
        if (now - last_wake >= settings_.ask_again) {
            last_wake = now;
            lock.unlock();
            Wake();
            lock.lock();
        }
    }
}

}  // namespace station::ledger
