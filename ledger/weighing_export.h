#pragma once

#include <memory>
#include <string>

#include "ledger/database.h"
#include "ledger/http_server.h"
#include "ledger/page_request.h"

namespace station::ledger {

// The weighings of a range of days, oldest first, as a CSV for a Polish spreadsheet or as JSON,
// read and written a block of rows at a time: a year's export takes the memory of one block.
// A database that fails midway ends the answer broken, never short and looking whole.
class WeighingExport : public BodySource {
public:
    enum class Format { kCsv, kJson };
    static constexpr long kBlockRows = 1000;

    WeighingExport(std::unique_ptr<Database> database, const RangeQuery& range, Format format);
    Piece Next() override;

    // "wazenia_FROM_TO.csv" or ".json"
    static std::string FileName(const RangeQuery& range, Format format);

private:
    std::unique_ptr<Database> database_;
    std::string to_;  // excluded: the day after the range's last
    Format format_;
    bool started_ = false;
    bool done_ = false;
    std::string last_time_;  // where the next block starts: after this time and id
    std::string last_id_;    // empty: at this time
};

}  // namespace station::ledger
