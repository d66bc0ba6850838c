// What a stranger who reaches the page's port can try, one row each, against a real page on a
// real socket: none of it blocks, starves, grows or reads what it should not.
#include <gtest/gtest.h>
#include <httplib.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "base/file_descriptor.h"
#include "base/poll_loop.h"
#include "ledger/page/http_server.h"
#include "ledger/page/plant_page.h"
#include "ledger/store/ledger_tables.h"
#include "ledger/store/open_database.h"
#include "net/broker_client.h"
#include "tests/support/child_process.h"
#include "tests/support/loopback.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/resident_memory.h"
#include "tests/support/temp_dir.h"

namespace station::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kKeepsFreedMemory = true;  // their allocators, on purpose: no bound on growth holds
#else
constexpr bool kKeepsFreedMemory = false;
#endif

FileDescriptor Connect(int port) {
    FileDescriptor socket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    timeval limit{15, 0};
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    ::setsockopt(socket.Get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    if (::connect(socket.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        return FileDescriptor(-1);
    }
    return socket;
}

bool Send(const FileDescriptor& socket, std::string_view bytes) {
    return ::send(socket.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(bytes.size());
}

// What the server sends until `enough` is in it, it closes, or 15 s pass.
std::string Receive(const FileDescriptor& socket, std::string_view enough = {}) {
    std::string received;
    char buffer[65536];
    while (enough.empty() || received.find(enough) == std::string::npos) {
        const ssize_t count = ::recv(socket.Get(), buffer, sizeof buffer, 0);
        if (count <= 0) {
            break;
        }
        received.append(buffer, static_cast<std::size_t>(count));
    }
    return received;
}

// Whether the server has ended the connection (nothing waits to be read and none will come).
bool Ended(const FileDescriptor& socket) {
    char byte = 0;
    const ssize_t count = ::recv(socket.Get(), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
    return count == 0 || (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

std::string Get(int port, const std::string& path, const std::string& headers = {}) {
    const FileDescriptor socket = Connect(port);
    Send(socket, "GET " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" + headers +
                     "\r\n");
    return Receive(socket);
}

class PageAttackTest : public ::testing::TestWithParam<struct Attack> {
protected:
    void SetUp() override {
        settings_.port = 0;
        settings_.files = PAGE_FILES;
        Store(1);
    }

    // All at one time, as a stranger's weighings may be: an export must not slow down with ties.
    void Store(int count) {
        const auto database = ledger::OpenDatabase(Url(), "");
        ledger::LedgerTables tables(*database);
        ledger::Batch batch;
        for (int i = 0; i < count; ++i) {
            batch.weighings.push_back({"c/202612/" + std::to_string(stored_++), "room", "c", 202612,
                                       1, "12,5", 12.5, "2026-12-08T09:00:00+01:00",
                                       std::string(100, 'x'), "now", "t"});
        }
        tables.Write(batch);
    }

    std::string Url() const { return "sqlite:" + dir_ / "ledger.sqlite"; }
    int Start() {
        page_ = std::make_unique<ledger::PlantPage>(settings_, url_.empty() ? Url() : url_, "");
        return page_->Port();
    }

    TempDir dir_;
    ledger::PageSettings settings_;
    std::string url_;
    std::unique_ptr<ledger::PlantPage> page_;
    int stored_ = 0;
};

struct Attack {
    const char* name;
    void (*run)(PageAttackTest& test);
};

// The fixture's members, for the rows.
struct Rows : PageAttackTest {
    static void LivePagesHoldNoThread(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.settings_.most_per_address = 0;  // 500 pages from one address, as no office has
        const int port = test.Start();
        std::vector<FileDescriptor> live;
        for (int i = 0; i < 500; ++i) {
            live.push_back(Connect(port));
            Send(live.back(), "GET /api/live HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        }
        for (const FileDescriptor& page : live) {
            ASSERT_TRUE(Receive(page, "keep-alive").starts_with("HTTP/1.1 200"));
        }
        EXPECT_TRUE(Get(port, "/api/day?day=2026-12-08").starts_with("HTTP/1.1 200"));
        EXPECT_NE(Get(port, "/metrics").find("tarvelio_ledger_live_pages 500"), std::string::npos);
        ledger::Batch batch;
        batch.weighings.resize(1);
        test.page_->Written(batch);
        EXPECT_NE(Receive(live.back(), "weighings").find(R"(data: {"kind":"weighings"})"),
                  std::string::npos);
        live.resize(400);  // 100 pages closed: no longer counted within 5 s
        const auto closed = Clock::now();
        while (Get(port, "/metrics").find("tarvelio_ledger_live_pages 400") == std::string::npos &&
               Clock::now() - closed < 5s) {
            std::this_thread::sleep_for(100ms);
        }
        EXPECT_NE(Get(port, "/metrics").find("tarvelio_ledger_live_pages 400"), std::string::npos);
        // Ending with every page open and a request half sent takes no waiting for them.
        const FileDescriptor half = Connect(port);
        Send(half, "GET /api/day HTTP/1.1\r\n");
        const auto stopping = Clock::now();
        test.page_.reset();
        EXPECT_LT(Clock::now() - stopping, 3s);
    }

    // A header line a second: the request is cut 10 s after it began, and a correct one meanwhile
    // is answered at once.
    static void SlowClientsAreCut(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.settings_.most_per_address = 0;  // the slow ones and the correct one share an address
        const int port = test.Start();
        const auto started = Clock::now();
        std::vector<FileDescriptor> slow;
        for (int i = 0; i < 64; ++i) {
            slow.push_back(Connect(port));
            Send(slow.back(), "GET /api/day HTTP/1.1\r\n");
        }
        bool cut = false;
        for (int second = 0; second < 16 && !cut; ++second) {
            EXPECT_TRUE(Get(port, "/api/day?day=2026-12-08").starts_with("HTTP/1.1 200"));
            std::this_thread::sleep_for(1s);
            for (const FileDescriptor& socket : slow) {
                Send(socket, "X-Slow: 1\r\n");
            }
            cut = std::all_of(slow.begin(), slow.end(), Ended);
        }
        EXPECT_TRUE(cut);
        EXPECT_LT(Clock::now() - started, 15s);  // cut at 10 to 11 s, seen at the next look
        EXPECT_GE(Clock::now() - started, 9s);
    }

    static void HeadersAreBoundedWhileRead(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        const int port = test.Start();
        const double before = ResidentMiB();
        const FileDescriptor socket = Connect(port);
        Send(socket, "GET /api/day HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        const std::string lines = [] {
            std::string text;
            for (int i = 0; i < 10000; ++i) {
                text += "X-" + std::to_string(i) + ": 1\r\n";
            }
            return text;
        }();
        for (int i = 0; i < 400 && Send(socket, lines); ++i) {
        }
        EXPECT_TRUE(Receive(socket).starts_with("HTTP/1.1 431"));
        EXPECT_LT(ResidentMiB() - before, 8);
    }

    static void OneRangeAtMost(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        const int port = test.Start();
        std::string ranges = "Range: bytes=0-1";
        for (int i = 0; i < 2000; ++i) {
            ranges += ",0-" + std::to_string(i);
        }
        const std::string whole = Get(port, "/plant.js");
        const std::string answer = Get(port, "/plant.js", ranges + "\r\n");
        EXPECT_TRUE(answer.starts_with("HTTP/1.1 200"));
        EXPECT_EQ(answer.size(), whole.size());
    }

    // 100,000 weighings, some 20 MB of JSON: the memory of one block of rows, not of the answer.
    static void ExportIsStreamed(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.Store(100000);
        const int port = test.Start();
        const double before = ResidentMiB();
        const FileDescriptor socket = Connect(port);
        Send(socket,
             "GET /api/export.json?from=2026-01-01&to=2026-12-31 HTTP/1.1\r\nHost: "
             "127.0.0.1\r\n\r\n");
        std::size_t received = 0;
        double peak = 0;
        std::string tail;
        char buffer[65536];
        // Chunked, kept alive: the last chunk says the answer is whole.
        while (!tail.ends_with("]\r\n0\r\n\r\n")) {
            const ssize_t count = ::recv(socket.Get(), buffer, sizeof buffer, 0);
            if (count <= 0) {
                break;
            }
            received += static_cast<std::size_t>(count);
            tail.append(buffer, static_cast<std::size_t>(count));
            tail.erase(0, tail.size() > 16 ? tail.size() - 16 : 0);
            peak = std::max(peak, ResidentMiB());
        }
        EXPECT_GT(received, 20'000'000u);
        EXPECT_TRUE(tail.ends_with("]\r\n0\r\n\r\n")) << tail;
        // 20 MB of JSON built whole would be more than that alone.
        EXPECT_TRUE(kKeepsFreedMemory || peak - before < 12) << peak - before << " MiB more";
    }

    // Exports left unread hold a database connection each: past a few, another is answered 503
    // at once and the rest of the page goes on; once they are closed, exports start again.
    static void ExportsInFlightAreBounded(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.settings_.most_per_address = 0;
        test.Store(100000);
        const int port = test.Start();
        const std::string request =
            "GET /api/export.csv?from=2026-01-01&to=2026-12-31 HTTP/1.1\r\nHost: "
            "127.0.0.1\r\n\r\n";
        std::vector<FileDescriptor> unread;
        unread.reserve(ledger::PlantPage::kMostExports);
        for (std::size_t i = 0; i < ledger::PlantPage::kMostExports; ++i) {
            unread.push_back(Connect(port));
            Send(unread.back(), request);
            ASSERT_TRUE(Receive(unread.back(), "\r\n\r\n").starts_with("HTTP/1.1 200"));
        }
        const std::string refused = Get(port, "/api/export.json?from=2026-01-01&to=2026-12-31");
        EXPECT_TRUE(refused.starts_with("HTTP/1.1 503")) << refused.substr(0, 200);
        EXPECT_NE(refused.find("Za dużo plików pobieranych naraz"), std::string::npos);
        EXPECT_TRUE(Get(port, "/api/stations").starts_with("HTTP/1.1 200"));
        unread.clear();
        bool again = false;
        for (const auto closed = Clock::now(); !again && Clock::now() - closed < 5s;) {
            std::this_thread::sleep_for(100ms);
            const FileDescriptor socket = Connect(port);
            Send(socket, request);
            again = Receive(socket, "\r\n").starts_with("HTTP/1.1 200");
        }
        EXPECT_TRUE(again);
    }

    // An end under load: year-long ranges hold the workers while 300 health requests wait. The
    // waiting ones are answered 503 without being made, none reads the board once it is gone
    // (the ledger's board is destroyed after the page), and the end takes under 2 s.
    static void AnEndUnderLoadIsQuick(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.settings_.most_per_address = 0;
        test.Store(20000);  // a range then holds a worker, and is done well within the bound
        auto board = std::make_unique<ledger::HealthBoard>();
        test.page_ =
            std::make_unique<ledger::PlantPage>(test.settings_, test.Url(), "", board.get());
        const int port = test.page_->Port();
        std::vector<FileDescriptor> sockets;
        sockets.reserve(308);
        for (int i = 0; i < 308; ++i) {
            sockets.push_back(Connect(port));
            Send(sockets.back(),
                 std::string("GET ") +
                     (i < 8 ? "/api/range?from=2026-01-01&to=2026-12-31" : "/api/health") +
                     " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        }
        std::this_thread::sleep_for(200ms);  // the requests read and queued
        const auto stopping = Clock::now();
        test.page_.reset();
        EXPECT_LT(Clock::now() - stopping, 2s);
        board.reset();
    }

    // Connections past the limit (half the descriptors the process may open) are answered 503,
    // and past a few more closed unread: the process keeps descriptors for the broker. The
    // clients are another process's, so that this one's descriptors are the server's alone.
    static void ConnectionsBeyondTheLimit(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit lower = saved;
        lower.rlim_cur = 400;  // 200 connections
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &lower), 0);
        test.settings_.most_per_address = 0;  // the held ones come from one address
        const int port = test.Start();
        const auto hold = [&](int count) {
            return ChildProcess(
                {"python3", "-c",
                 "import socket, sys, time\n"
                 "held = [socket.create_connection(('127.0.0.1', " +
                     std::to_string(port) + ")) for _ in range(" + std::to_string(count) +
                     ")]\nprint('held', flush=True)\ntime.sleep(60)\n"},
                test.dir_ / ("held" + std::to_string(count)), SIGKILL);
        };
        const auto held_all = [&](int count) {
            for (int i = 0;
                 i < 500 && ReadFile(test.dir_ / ("held" + std::to_string(count))).empty(); ++i) {
                std::this_thread::sleep_for(10ms);
            }
        };
        // What the page answers once it has taken the held connections in: asked until it says
        // `status`, for at most 10 s.
        const auto answers = [&](const std::string& status) {
            for (int i = 0; i < 100; ++i, std::this_thread::sleep_for(100ms)) {
                if (Get(port, "/api/day").starts_with("HTTP/1.1 " + status)) {
                    return true;
                }
            }
            return false;
        };
        {
            const ChildProcess idle = hold(200);
            held_all(200);
            EXPECT_TRUE(answers("503 "));
            const ChildProcess more = hold(300);
            held_all(300);
            MqttBroker broker;
            PollLoop loop;
            net::BrokerClient client(loop);
            net::BrokerOptions options;
            options.host = "127.0.0.1";
            options.port = broker.Port();
            options.client_id = "ledger";
            client.Connect(options);
            EXPECT_TRUE(loop.RunUntil([&] { return client.Connected(); }, 5s));
        }
        EXPECT_TRUE(answers("200 "));
        test.page_.reset();
        setrlimit(RLIMIT_NOFILE, &saved);
    }

    static void HostIsChecked(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.settings_.names = {"Waga.Zaklad.PL"};
        const int port = test.Start();
        for (const std::string& host : std::vector<std::string>{
                 "127.0.0.1", "127.0.0.1:" + std::to_string(port), "localhost:1", "[::1]:80",
                 "waga.zaklad.pl:443", "10.0.0.7"}) {
            SCOPED_TRACE(host);
            httplib::Client client("127.0.0.1", port);
            EXPECT_EQ(client.Get("/api/day", {{"Host", host}})->status, 200);
        }
        httplib::Client client("127.0.0.1", port);
        const auto refused = client.Get("/api/day", {{"Host", "rebound.example:8080"}});
        EXPECT_EQ(refused->status, 421);
        EXPECT_EQ(refused->body, "Nieznany adres strony");
    }

    // No text of the driver, no host, no port, no path: the reason in Polish, and no framing.
    static void ErrorsSayNothingInside(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.url_ = "sqlite:" + test.dir_.Path();  // a directory: never a database
        const int port = test.Start();
        httplib::Client client("127.0.0.1", port);
        const auto answer = client.Get("/api/day");
        EXPECT_EQ(answer->status, 503);
        EXPECT_EQ(answer->body, "Baza danych niedostępna");
        EXPECT_NE(
            answer->get_header_value("Content-Security-Policy").find("frame-ancestors 'none'"),
            std::string::npos);
        EXPECT_EQ(client.Get("/nie-ma")->body, "Nie ma takiej strony");
        EXPECT_EQ(client.Post("/api/day", "x", "text/plain")->status, 405);
    }

    static void BasicInAnyCase(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        test.settings_.password = "sekret";
        const int port = test.Start();
        httplib::Client client("127.0.0.1", port);
        for (const char* scheme : {"Basic ", "basic ", "BASIC  "}) {
            EXPECT_EQ(
                client
                    .Get("/api/day", {{"Authorization", std::string(scheme) + "a3RvOnNla3JldA=="}})
                    ->status,
                200)
                << scheme;
        }
        EXPECT_EQ(client.Get("/api/day", {{"Authorization", "Basic a3RvOnpsZQ=="}})->status, 401);
    }

    // TLS 1.2 and 1.3 with forward secrecy and authenticated encryption, nothing older or weaker.
    static void TlsSuites(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        ASSERT_TRUE(RunToEnd(
            {"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj",
             "/CN=127.0.0.1", "-keyout", test.dir_ / "key.pem", "-out", test.dir_ / "cert.pem"},
            test.dir_ / "openssl.log"));
        test.settings_.cert_file = test.dir_ / "cert.pem";
        test.settings_.key_file = test.dir_ / "key.pem";
        const std::string address = "127.0.0.1:" + std::to_string(test.Start());
        // Nothing to send: the client ends once the handshake is through, 0 when it went.
        const auto handshake = [&](const std::string& choice) {
            return RunToEnd(
                {"sh", "-c", "openssl s_client -connect " + address + " " + choice + " </dev/null"},
                test.dir_ / "s_client.log");
        };
        EXPECT_TRUE(handshake("-tls1_3"));
        EXPECT_TRUE(handshake("-tls1_2 -cipher ECDHE-RSA-AES128-GCM-SHA256"));
        EXPECT_FALSE(handshake("-tls1_2 -cipher AES128-SHA"));
        EXPECT_FALSE(handshake("-tls1_2 -cipher ECDHE-RSA-AES128-SHA"));
        EXPECT_FALSE(handshake("-tls1_1"));
    }

    // One address holding idle connections, sending nothing: past 32 they are closed at once,
    // and a request from another address is answered as ever.
    static void OneAddressHoldsAFewConnections(PageAttackTest& base) {
        auto& test = static_cast<Rows&>(base);
        const int port = test.Start();
        std::vector<FileDescriptor> idle;
        idle.reserve(40);
        for (int i = 0; i < 40; ++i) {
            idle.push_back(Connect(port));
        }
        // The daemon takes them in its own time.
        const auto ended = [&] { return std::count_if(idle.begin(), idle.end(), Ended); };
        for (int i = 0; i < 500 && ended() < 8; ++i) {
            std::this_thread::sleep_for(10ms);
        }
        EXPECT_EQ(ended(), 8);
        FileDescriptor other(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
        sockaddr_in from{};
        from.sin_family = AF_INET;
        from.sin_addr.s_addr = htonl(INADDR_LOOPBACK + 1);  // 127.0.0.2
        ASSERT_EQ(::bind(other.Get(), reinterpret_cast<const sockaddr*>(&from), sizeof from), 0);
        sockaddr_in to = from;
        to.sin_port = htons(static_cast<std::uint16_t>(port));
        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ASSERT_EQ(::connect(other.Get(), reinterpret_cast<const sockaddr*>(&to), sizeof to), 0);
        Send(other, "GET /api/day HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        EXPECT_TRUE(Receive(other).starts_with("HTTP/1.1 200"));
    }

    // Two workers held by slow answers, ten requests: four wait, the rest are answered 503 at
    // once; at the end the waiting ones are answered 503 unmade, and only the two in hand run.
    static void WaitingRequestsAreBoundedAndDroppedAtTheEnd(PageAttackTest& /*base*/) {
        std::mutex mutex;
        std::condition_variable changed;
        bool released = false;
        int started = 0;
        int made = 0;
        ledger::HttpServerSettings settings;
        settings.workers = 2;
        settings.most_waiting = 4;
        auto server =
            std::make_unique<ledger::HttpServer>(settings, [&](const ledger::HttpRequest&) {
                std::unique_lock lock(mutex);
                ++started;
                changed.notify_all();
                changed.wait(lock, [&] { return released; });
                ++made;
                return ledger::HttpResponse{200, "text/plain", "made", {}, {}};
            });
        std::vector<FileDescriptor> sockets;
        sockets.reserve(10);
        for (int i = 0; i < 10; ++i) {
            sockets.push_back(Connect(server->Port()));
            Send(sockets.back(), "GET /x HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
            if (i == 1) {  // the workers hold the first two before the others come
                std::unique_lock lock(mutex);
                ASSERT_TRUE(changed.wait_for(lock, 10s, [&] { return started == 2; }));
            }
        }
        std::vector<std::string> answers(sockets.size());
        // The answers that come without a worker: four at once, four more once it ends.
        const auto answered_without = [&](std::size_t count) {
            const auto until = Clock::now() + 10s;
            while (Clock::now() < until) {
                std::size_t answered = 0;
                for (std::size_t i = 0; i < sockets.size(); ++i) {
                    char buffer[4096];
                    const ssize_t read =
                        ::recv(sockets[i].Get(), buffer, sizeof buffer, MSG_DONTWAIT);
                    if (read > 0) {
                        answers[i].append(buffer, static_cast<std::size_t>(read));
                    }
                    answered += answers[i].empty() ? 0U : 1U;
                }
                if (answered >= count) {
                    return true;
                }
                std::this_thread::sleep_for(10ms);
            }
            return false;
        };
        ASSERT_TRUE(answered_without(4));
        std::thread ending([&] { server.reset(); });
        EXPECT_TRUE(answered_without(8));
        {
            const std::lock_guard lock(mutex);
            released = true;
        }
        changed.notify_all();
        ending.join();
        for (std::size_t i = 0; i < sockets.size(); ++i) {
            answers[i] += Receive(sockets[i]);
        }
        const auto count = [&](std::string_view part) {
            return std::count_if(answers.begin(), answers.end(), [&](const std::string& answer) {
                return answer.find(part) != std::string::npos;
            });
        };
        EXPECT_EQ(count("Serwer zaj"), 4);
        EXPECT_EQ(count("Serwer ko"), 4);
        EXPECT_EQ(made, 2);  // their answers, made, may be cut by the end
    }
};

const Attack kAttacks[] = {
    {"LivePagesHoldNoThread", &Rows::LivePagesHoldNoThread},
    {"SlowClientsAreCut", &Rows::SlowClientsAreCut},
    {"HeadersAreBoundedWhileRead", &Rows::HeadersAreBoundedWhileRead},
    {"OneRangeAtMost", &Rows::OneRangeAtMost},
    {"ExportIsStreamed", &Rows::ExportIsStreamed},
    {"ExportsInFlightAreBounded", &Rows::ExportsInFlightAreBounded},
    {"AnEndUnderLoadIsQuick", &Rows::AnEndUnderLoadIsQuick},
    {"ConnectionsBeyondTheLimit", &Rows::ConnectionsBeyondTheLimit},
    {"HostIsChecked", &Rows::HostIsChecked},
    {"ErrorsSayNothingInside", &Rows::ErrorsSayNothingInside},
    {"BasicInAnyCase", &Rows::BasicInAnyCase},
    {"TlsSuites", &Rows::TlsSuites},
    {"OneAddressHoldsAFewConnections", &Rows::OneAddressHoldsAFewConnections},
    {"WaitingRequestsAreBoundedAndDroppedAtTheEnd",
     &Rows::WaitingRequestsAreBoundedAndDroppedAtTheEnd},
};

TEST_P(PageAttackTest, LeavesThePageWhole) {
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Attacks, PageAttackTest, ::testing::ValuesIn(kAttacks),
                         [](const ::testing::TestParamInfo<Attack>& attack) {
                             return std::string(attack.param.name);
                         });

}  // namespace
}  // namespace station::test
