#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/page/http_server.h"
#include "ledger/page/page_queries.h"
#include "ledger/page/page_request.h"
#include "ledger/store/database.h"

namespace station::ledger {

// "wazenia_FROM_TO" and `extension` (".csv"): the name an export is saved under.
std::string ExportFileName(const RangeQuery& range, std::string_view extension);

// A range of days' weighings, oldest first, a block at a time, each block read on from where
// the last ended (by time and id, the index's order): a year takes the memory of one block.
class WeighingBlocks {
public:
    static constexpr long kBlockRows = 1000;

    WeighingBlocks(std::unique_ptr<Database> database, const RangeQuery& range);
    // The next block; after one shorter than kBlockRows, the last, the database is let go and
    // Done() holds. Throws what the database throws.
    std::vector<StoredWeighing> Next();
    bool Done() const { return database_ == nullptr; }
    bool Seals() const { return range_.seals; }

private:
    std::unique_ptr<Database> database_;
    RangeQuery range_;
    std::string last_time_;  // where the next block starts: after this time and id
    std::string last_id_;    // empty: at this time
};

// The weighings of a range of days as a CSV for a Polish spreadsheet or as JSON, written a
// block at a time. A database that fails midway ends the answer broken, never short and looking
// whole.
class WeighingExport : public BodySource {
public:
    enum class Format { kCsv, kJson };

    WeighingExport(std::unique_ptr<Database> database, const RangeQuery& range, Format format);
    Piece Next() override;

private:
    WeighingBlocks blocks_;
    Format format_;
    bool started_ = false;
};

}  // namespace station::ledger
