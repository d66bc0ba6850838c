#include "ledger/store/batch_writer.h"

#include <optional>
#include <utility>

#include "protocol/topics.h"

namespace station::ledger {

BatchWriter::BatchWriter(EventLoop& loop, Handlers handlers, std::string topic_prefix, LogSink log)
    : loop_(loop),
      handlers_(std::move(handlers)),
      topic_prefix_(std::move(topic_prefix)),
      log_(std::move(log)),
      writer_(loop) {}

void BatchWriter::Use(LedgerTables* tables) {
    writer_.Finish();
    if (tables_ && !tables) {
        batch_ = {};  // what was not written: the replay brings it back
        flush_timer_.reset();
    }  // (else the batch is the live session's, and a failed reopening leaves it to be shown)
    tables_ = tables;
}

void BatchWriter::Added() {
    if (batch_.Size() >= kBatchRows) {
        WriteBehind();
        return;
    }
    last_added_ = loop_.Now();
    if (!flush_timer_) {
        batch_begun_ = last_added_;
        flush_timer_ = loop_.StartTimer(kFlowPause, [this] { WriteWhenPaused(); });
    }
}

// Weighings are written once the flow pauses, so that the last of a backlog waits for no interval
// while a flow is written in whole batches (each transaction also writes a row per station it
// holds); and at the latest after kFlushInterval. States and statuses alone wait kFlushInterval:
// they come steadily, and would otherwise each be a transaction.
void BatchWriter::WriteWhenPaused() {
    const EventLoop::TimePoint now = loop_.Now();
    const EventLoop::TimePoint latest = batch_begun_ + kFlushInterval;
    if (now >= latest || (!batch_.weighings.empty() && now - last_added_ >= kFlowPause)) {
        WriteBehind();
        return;
    }
    // (Looked at again while states alone wait, in case a weighing joins them.)
    flush_timer_ = loop_.StartTimer(kFlowPause, [this] { WriteWhenPaused(); });
}

// The batch is written on the writer's thread while the loop reads the next; the loop waits only
// when that one is ready before the one in hand is written.
void BatchWriter::WriteBehind() {
    writer_.Finish();
    if (!tables_ || batch_.Empty()) {
        return Flush();
    }
    flush_timer_.reset();
    handlers_.judge(batch_);
    struct Write {
        Batch batch;
        std::optional<Outcome> outcome;
        std::optional<DatabaseError> error;
    };
    auto write = std::make_shared<Write>();
    write->batch = std::exchange(batch_, {});
    writer_.Run(
        [tables = tables_, write] {
            try {
                write->outcome = TimedWrite(*tables, write->batch);
            } catch (const DatabaseError& error) {
                write->error = error;
            }
        },
        [this, write] {
            if (write->outcome) {
                Committed(write->batch, *write->outcome);
            } else {
                WriteFailed(write->batch, *write->error);
            }
        });
}

void BatchWriter::Flush() {
    writer_.Finish();
    flush_timer_.reset();
    if (!tables_) {
        if (batch_.Size() > 0) {
            handlers_.not_written(batch_);
        }
        batch_ = {};
        return;
    }
    // A write's weighings may move places, written next; a write of places alone moves none.
    while (!batch_.Empty()) {
        handlers_.judge(batch_);
        const Batch batch = std::exchange(batch_, {});
        try {
            Commit(batch);
        } catch (const DatabaseError& error) {
            WriteFailed(batch, error);
            return;
        }
    }
}

// Writes `batch` in one transaction and says how long it took. Throws DatabaseError.
BatchWriter::Outcome BatchWriter::TimedWrite(LedgerTables& tables, const Batch& batch) {
    const SteadyTime& time = SteadyTime::Instance();  // on the writer's thread, not the loop's
    const auto started = time.Now();
    Outcome outcome{tables.Write(batch), 0};
    outcome.seconds = std::chrono::duration<double>(time.Now() - started).count();
    return outcome;
}

// Writes `batch` in one transaction and tells of it. Throws DatabaseError.
void BatchWriter::Commit(const Batch& batch) {
    Committed(batch, TimedWrite(*tables_, batch));
}

void BatchWriter::Committed(const Batch& batch, const Outcome& outcome) {
    handlers_.written(batch, outcome.fates, outcome.seconds);
    if (!batch_.Empty()) {
        Added();  // the places moved and the conflicts, written within kFlushInterval at the latest
    }
}

void BatchWriter::WriteFailed(const Batch& batch, const DatabaseError& error) {
    if (error.AboutData()) {
        WriteEachAlone(batch);
    } else {
        handlers_.database_failed(error.what());
    }
}

void BatchWriter::WriteEachAlone(const Batch& whole) {
    const auto alone = [&](const auto& row, auto rows, const std::string& topic,
                           const std::string& payload) {
        Batch single;
        (single.*rows).push_back(row);
        try {
            Commit(single);
        } catch (const DatabaseError& error) {
            if (!error.AboutData()) {
                throw;
            }
            if (single.rejected.empty()) {
                handlers_.row_refused(topic, payload, error.what());
            } else {
                log_(std::string("a rejected row the database refused too, dropped: ") +
                     error.what());
            }
        }
    };
    const auto topic = [this](const std::string& room, protocol::TopicKind kind, int scale = 0) {
        return protocol::TopicOf(protocol::RoomTopic(topic_prefix_, room), kind, scale);
    };
    try {
        if (!whole.forgotten.empty()) {
            Batch gone;  // before the rows heard since
            gone.forgotten = whole.forgotten;
            Commit(gone);
        }
        for (const WeighingRow& row : whole.weighings) {
            alone(row, &Batch::weighings,
                  topic(row.station, protocol::TopicKind::kWeighing, row.scale), row.line);
        }
        for (const ScaleStateRow& row : whole.states) {
            alone(row, &Batch::states, topic(row.station, protocol::TopicKind::kState, row.scale),
                  row.reading);
        }
        for (const StationStatusRow& row : whole.statuses) {
            alone(row, &Batch::statuses, topic(row.station, protocol::TopicKind::kStatus), "");
        }
        for (const RejectedRow& row : whole.rejected) {
            alone(row, &Batch::rejected, row.topic, row.payload);
        }
        if (!whole.held_through.empty()) {
            Batch places;  // once the rows they follow on from are written
            places.held_through = whole.held_through;
            Commit(places);
        }
    } catch (const DatabaseError& error) {
        handlers_.database_failed(error.what());
        return;
    }
    if (!batch_.Empty()) {
        Added();  // the refusals and the places moved, with the next write
    }
}

}  // namespace station::ledger
