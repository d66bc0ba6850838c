#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/event_loop.h"
#include "base/time_source.h"
#include "base/worker_thread.h"
#include "ledger/store/database.h"
#include "ledger/store/ledger_rows.h"
#include "ledger/store/ledger_tables.h"

namespace station::ledger {

// Writes what the ledger keeps in groups of at most kBatchRows, one transaction each, on a thread
// of its own while the loop reads the next group (one group at a time, in the order read): a group
// holding a weighing once the flow has paused for kFlowPause or after kFlushInterval, one of states
// and statuses alone after kFlushInterval. A row the database refuses on its own (too long for an
// index, a value out of a column's range) is written alone, and said refused; every other row of
// its batch is written. Any other failure is the database away: the batch is dropped (the replay
// brings it back) and nothing is written until tables are given again.
class BatchWriter {
public:
    static constexpr std::chrono::milliseconds kFlushInterval{100};
    static constexpr std::chrono::milliseconds kFlowPause{5};
    static constexpr std::size_t kBatchRows = 2000;

    // What became of the writes.
    struct Handlers {
        // In the database, with what became of its weighings and how long it took.
        std::function<void(const Batch& batch, const std::vector<LedgerTables::Stored>& fates,
                           double seconds)>
            written;
        // Kept while no tables are given (the live session's rows), and flushed.
        std::function<void(const Batch& batch)> not_written;
        std::function<void(const std::string& topic, const std::string& payload,
                           const std::string& reason)>
            row_refused;
        std::function<void(const std::string& reason)> database_failed;
        // Just before a batch is written: a weighing may leave it, as a rejected row.
        std::function<void(Batch& batch)> judge;
    };

    using LogSink = std::function<void(const std::string& line)>;

    // `topic_prefix` names a refused row's topic.
    BatchWriter(EventLoop& loop, Handlers handlers, std::string topic_prefix, LogSink log);

    // The rows waiting; after adding to it, call Added.
    Batch& Pending() { return batch_; }
    void Added();
    // The tables written to; none while the database is away, which drops what waits.
    void Use(LedgerTables* tables);
    // Writes what waits now; for an orderly end.
    void Flush();
    // Waits for the write under way, if any.
    void Finish() { writer_.Finish(); }
    // A write is under way: the database is the writer's.
    bool Busy() const { return writer_.Busy(); }

private:
    struct Outcome {
        std::vector<LedgerTables::Stored> fates;
        double seconds = 0;
    };
    static Outcome TimedWrite(LedgerTables& tables, const Batch& batch);
    void WriteWhenPaused();
    void WriteBehind();
    void Commit(const Batch& batch);
    void Committed(const Batch& batch, const Outcome& outcome);
    void WriteFailed(const Batch& batch, const DatabaseError& error);
    void WriteEachAlone(const Batch& whole);

    EventLoop& loop_;
    Handlers handlers_;
    std::string topic_prefix_;
    LogSink log_;
    LedgerTables* tables_ = nullptr;
    Batch batch_;
    std::unique_ptr<Timer> flush_timer_;
    EventLoop::TimePoint batch_begun_{};  // when the first of batch_ came
    EventLoop::TimePoint last_added_{};
    // Uses the tables while a batch is in hand, and the loop does not meanwhile. Last: it is gone
    // before the rest.
    WorkerThread writer_;
};

}  // namespace station::ledger
