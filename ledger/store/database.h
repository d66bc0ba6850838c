#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace station::ledger {

// A value bound to a statement's parameter: NULL, an integer, a number or a text. Statements
// name their parameters $1, $2, ... in order of first use, which both databases read.
using Value = std::variant<std::monostate, std::int64_t, double, std::string>;

struct Command {
    const char* sql;
    std::vector<Value> values;
    // A command whose effect is nothing when the last command before it that is no such check
    // changed a row (a check after an insert that may have found its row held) may be left out
    // then, counting 0 changed, and may run after the commands that follow it.
    bool only_after_none = false;
};

// A row of a query's answer, every column as text; nothing for NULL.
using Row = std::vector<std::optional<std::string>>;

// A boolean as both databases give it as text; NULL is false.
inline bool IsTrue(const std::optional<std::string>& text) {
    return text && (*text == "t" || *text == "1" || *text == "true");
}

// Whatever a database refused or could not do; its text says why, in the database's words.
// `Lasting` when waiting will not mend it (a refused password, no such database, a bad
// connection parameter, a file that cannot be made), as opposed to a database only away.
// `AboutData` when it refused a value (too long for an index, out of a column's range, against
// a constraint): the connection is sound, and the same write without that row would succeed.
class DatabaseError : public std::runtime_error {
public:
    // `what` in one line, as the log says each thing: a server's message of several lines (as
    // libpq gives, a hint under its error, a line per host tried) is joined with "; ".
    explicit DatabaseError(const std::string& what, bool lasting = false)
        : std::runtime_error(OneLine(what)), lasting_(lasting) {}
    static DatabaseError RefusedData(const std::string& what) {
        DatabaseError error(what);
        error.about_data_ = true;
        return error;
    }

    bool Lasting() const { return lasting_; }
    bool AboutData() const { return about_data_; }

private:
    static std::string OneLine(std::string_view text) {
        std::string line;
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t end = std::min(text.find('\n', at), text.size());
            std::string_view part = text.substr(at, end - at);
            while (!part.empty() && (part.front() == ' ' || part.front() == '\t')) {
                part.remove_prefix(1);
            }
            if (!part.empty()) {
                line.append(line.empty() ? "" : "; ").append(part);
            }
            at = end + 1;
        }
        return line;
    }

    bool lasting_;
    bool about_data_ = false;
};

// The little the ledger asks of a database, so that SQLite and PostgreSQL answer alike. Every
// value is bound, never pasted into a statement's text.
class Database {
public:
    virtual ~Database() = default;

    // Runs the commands in one transaction, on disk when this returns, and says how many rows
    // each command changed; throws DatabaseError, and then nothing of them holds.
    virtual std::vector<std::uint64_t> Transact(const std::vector<Command>& commands) = 0;
    // Throws DatabaseError.
    virtual std::vector<Row> Query(const char* sql, const std::vector<Value>& values) = 0;
    // The server this connection reached, as host:port (of several in a URL, the one that
    // answered as asked); empty for a file.
    virtual std::string Server() const = 0;
};

// kReadOnly: for readers beside the ledger (the page); SQLite opens the file as it is (the
// ledger made it), PostgreSQL's session refuses every write.
enum class DatabaseAccess { kReadWrite, kReadOnly };

}  // namespace station::ledger
