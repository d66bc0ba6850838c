#include "ledger/store/postgres_database.h"

#include <libpq-fe.h>

#include <array>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <utility>

namespace station::ledger {
namespace {

struct ResultFree {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// Values as the server's text input: the one form every column type reads.
class TextValues {
public:
    explicit TextValues(const std::vector<Value>& values) {
        texts_.reserve(values.size());
        for (const Value& value : values) {
            if (const auto* number = std::get_if<std::int64_t>(&value)) {
                texts_.push_back(std::to_string(*number));
            } else if (const auto* real = std::get_if<double>(&value)) {
                std::array<char, 32> text{};
                const auto end = std::to_chars(text.data(), text.data() + text.size(), *real).ptr;
                texts_.emplace_back(text.data(), end);
            } else if (const auto* text = std::get_if<std::string>(&value)) {
                texts_.push_back(*text);
            } else {
                texts_.emplace_back();
            }
        }
        for (std::size_t i = 0; i < values.size(); ++i) {
            pointers_.push_back(
                std::holds_alternative<std::monostate>(values[i]) ? nullptr : texts_[i].c_str());
        }
    }
    int Count() const { return static_cast<int>(pointers_.size()); }
    const char* const* Pointers() const { return pointers_.data(); }

private:
    std::vector<std::string> texts_;
    std::vector<const char*> pointers_;
};

// Whether a failed connection stays failed however long the ledger waits. The server's own
// refusals (a password, a role or a database it does not have, no pg_hba.conf entry) and a
// parameter libpq cannot use do; a server not reachable, starting or full does not. A text not
// known here counts as passing, so the ledger waits, as it would have anyway.
bool LastingConnectionProblem(const std::string& problem) {
    if (problem.find("connection to server") == std::string::npos) {
        // libpq refused before reaching any server, unless it could not resolve the host.
        return problem.find("could not translate host name") == std::string::npos;
    }
    for (const char* passing : {"starting up", "shutting down", "in recovery", "too many clients",
                                "connection slots", "timeout expired"}) {
        if (problem.find(passing) != std::string::npos) {
            return false;
        }
    }
    for (const char* lasting :
         {"authentication failed", "does not exist", "no pg_hba.conf entry", "no password supplied",
          "password is required", "permission denied", "is not permitted to log in",
          "does not support SSL", "certificate verify failed"}) {
        if (problem.find(lasting) != std::string::npos) {
            return true;
        }
    }
    return false;
}

bool Succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK || status == PGRES_PIPELINE_SYNC;
}

}  // namespace

PostgresDatabase::PostgresDatabase(const std::string& url, const std::string& password,
                                   DatabaseAccess access) {
    // The URL may carry its own settings; the password comes from its file, never from the URL
    // that the settings file and the logs show. A server that does not answer is given up on.
    const std::array<const char*, 4> keywords{"dbname", "password", "connect_timeout", nullptr};
    const std::array<const char*, 4> values{
        url.c_str(), password.empty() ? nullptr : password.c_str(), "5", nullptr};
    connection_ = PQconnectdbParams(keywords.data(), values.data(), 1);
    if (connection_ == nullptr || PQstatus(connection_) != CONNECTION_OK) {
        const std::string problem =
            connection_ != nullptr ? PQerrorMessage(connection_) : "out of memory";
        const bool lasting = connection_ != nullptr && LastingConnectionProblem(problem);
        PQfinish(connection_);
        throw DatabaseError("cannot connect to PostgreSQL: " + problem, lasting);
    }
    Result quiet(PQexec(connection_, "SET client_min_messages = warning"));
    if (access == DatabaseAccess::kReadOnly) {
        Result read_only(PQexec(connection_, "SET default_transaction_read_only = on"));
    }
}

PostgresDatabase::~PostgresDatabase() {
    PQfinish(connection_);
}

std::string PostgresDatabase::Server() const {
    const char* host = PQhost(connection_);
    const char* port = PQport(connection_);
    return std::string(host != nullptr ? host : "") + ":" + (port != nullptr ? port : "");
}

void PostgresDatabase::Fail(const std::string& what) const {
    throw DatabaseError(what + ": " + PQerrorMessage(connection_));
}

// Commands that may be left out when the one before changed a row (Command::only_after_none) go
// in a second pipeline of the same transaction, once the first has said what each changed: a
// batch of fresh weighings then costs one statement a row, not two. They run after the other
// commands, as checks after their inserts.
// Ledgers sharing the flow write the same rows at once: the server may end one transaction as
// deadlocked or not serialisable, and that one simply runs again.
std::vector<std::uint64_t> PostgresDatabase::Transact(const std::vector<Command>& commands) {
    constexpr int kTries = 3;
    for (int tried = 1;; ++tried) {
        std::vector<std::uint64_t> changed(commands.size(), 0);
        std::string state;
        const std::string problem = TransactOnce(commands, changed, state);
        if (problem.empty()) {
            Prepare(commands);
            return changed;
        }
        const bool conflict = state == "40P01" || state == "40001";
        if (conflict && tried < kTries && PQstatus(connection_) == CONNECTION_OK) {
            continue;
        }
        // Classes 22 (data exception), 23 (integrity) and 54 (a limit, such as an index row's
        // size): the value, not the connection.
        const bool about_data =
            state.starts_with("22") || state.starts_with("23") || state.starts_with("54");
        throw about_data ? DatabaseError::RefusedData(problem) : DatabaseError(problem);
    }
}

// One try of Transact: the first problem, empty when none, and its SQLSTATE in `state`.
std::string PostgresDatabase::TransactOnce(const std::vector<Command>& commands,
                                           std::vector<std::uint64_t>& changed,
                                           std::string& state) {
    std::vector<std::size_t> first;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        if (!commands[i].only_after_none) {
            first.push_back(i);
        }
    }
    std::string problem = Pipeline(commands, first, "BEGIN", nullptr, changed, state);
    if (problem.empty()) {
        std::vector<std::size_t> second;
        std::uint64_t leading = 0;  // what the last command that is no check changed
        for (std::size_t i = 0; i < commands.size(); ++i) {
            if (!commands[i].only_after_none) {
                leading = changed[i];
            } else if (leading == 0) {
                second.push_back(i);
            }
        }
        problem = Pipeline(commands, second, nullptr, "COMMIT", changed, state);
    }
    if (!problem.empty() && PQstatus(connection_) == CONNECTION_OK) {
        // The Sync leaves a failed BEGIN ... block open: ended here, the connection serves on.
        const Result rolled_back(PQexec(connection_, "ROLLBACK"));
    }
    return problem;
}

// Sends `begin` (when given), the commands of `commands` at `which`, in order, and `end` (when
// given) in one pipeline, and reads every result up to its sync, so that the connection is ready
// again whatever failed. Each command's count of changed rows goes to `changed` at its index.
// Returns the first problem, empty when none, with the server's SQLSTATE for it in `state`.
std::string PostgresDatabase::Pipeline(const std::vector<Command>& commands,
                                       const std::vector<std::size_t>& which, const char* begin,
                                       const char* end, std::vector<std::uint64_t>& changed,
                                       std::string& state) {
    if (PQenterPipelineMode(connection_) != 1) {
        return PQerrorMessage(connection_);
    }
    const auto send_plain = [this](const char* sql) {
        return sql == nullptr ||
               PQsendQueryParams(connection_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    };
    bool sent = send_plain(begin);
    for (std::size_t i = 0; sent && i < which.size(); ++i) {
        const Command& command = commands[which[i]];
        const TextValues values(command.values);
        const auto found = prepared_.find(command.sql);
        sent = (found != prepared_.end()
                    ? PQsendQueryPrepared(connection_, found->second.c_str(), values.Count(),
                                          values.Pointers(), nullptr, nullptr, 0)
                    : PQsendQueryParams(connection_, command.sql, values.Count(), nullptr,
                                        values.Pointers(), nullptr, nullptr, 0)) == 1;
    }
    sent = sent && send_plain(end) && PQpipelineSync(connection_) == 1;
    std::string problem = sent ? "" : PQerrorMessage(connection_);
    std::size_t answered = 0;  // results read: `begin`'s, then each command's in order
    bool synced = false;
    bool ended = false;  // the last read was the end of one command's results
    while (sent && !synced) {
        Result result(PQgetResult(connection_));
        if (!result) {
            // A second end in a row: nothing more will come. A server that ends the session
            // (an immediate shutdown, a failover) leaves libpq so, with the connection still
            // counted good and the sync never answered.
            if (PQstatus(connection_) != CONNECTION_OK || std::exchange(ended, true)) {
                problem =
                    std::string("the server ended the session: ") + PQerrorMessage(connection_);
                break;
            }
            continue;
        }
        ended = false;
        synced = PQresultStatus(result.get()) == PGRES_PIPELINE_SYNC;
        const std::size_t index = answered++;
        const std::size_t skipped = begin != nullptr ? 1 : 0;
        if (!synced && index >= skipped && index - skipped < which.size()) {
            changed[which[index - skipped]] = std::strtoull(PQcmdTuples(result.get()), nullptr, 10);
        }
        if (!Succeeded(result.get()) && problem.empty()) {
            problem = PQresultErrorMessage(result.get());
            const char* code = PQresultErrorField(result.get(), PG_DIAG_SQLSTATE);
            state = code != nullptr ? code : "";
        }
        if (PQstatus(connection_) != CONNECTION_OK) {
            problem = PQerrorMessage(connection_);
            break;
        }
    }
    PQexitPipelineMode(connection_);
    return problem;
}

// Commands with values are written again and again (a row each): once one has been committed,
// and so its tables exist, the server keeps it parsed, and later transactions only bind it. One
// that cannot be prepared is sent whole, as before.
void PostgresDatabase::Prepare(const std::vector<Command>& commands) {
    constexpr std::size_t kMostPrepared = 32;
    for (const Command& command : commands) {
        if (command.values.empty() || prepared_.size() >= kMostPrepared ||
            prepared_.contains(command.sql)) {
            continue;
        }
        std::string name = "ledger_" + std::to_string(prepared_.size() + 1);
        const Result result(PQprepare(connection_, name.c_str(), command.sql, 0, nullptr));
        if (PQresultStatus(result.get()) == PGRES_COMMAND_OK) {
            prepared_.emplace(command.sql, std::move(name));
        }
    }
}

std::vector<Row> PostgresDatabase::Query(const char* sql, const std::vector<Value>& values) {
    const TextValues texts(values);
    const Result result(PQexecParams(connection_, sql, texts.Count(), nullptr, texts.Pointers(),
                                     nullptr, nullptr, 0));
    if (!Succeeded(result.get())) {
        Fail(sql);
    }
    std::vector<Row> rows(static_cast<std::size_t>(PQntuples(result.get())));
    for (int row = 0; row < PQntuples(result.get()); ++row) {
        for (int column = 0; column < PQnfields(result.get()); ++column) {
            auto& cells = rows[static_cast<std::size_t>(row)];
            if (PQgetisnull(result.get(), row, column)) {
                cells.emplace_back();
            } else {
                cells.emplace_back(
                    std::string(PQgetvalue(result.get(), row, column),
                                static_cast<std::size_t>(PQgetlength(result.get(), row, column))));
            }
        }
    }
    return rows;
}

}  // namespace station::ledger
