#include "ledger/weighing_export.h"

#include "ledger/page_queries.h"
#include "ledger/page_shapes.h"

namespace station::ledger {

WeighingExport::WeighingExport(std::unique_ptr<Database> database, const RangeQuery& range,
                               Format format)
    : database_(std::move(database)),
      to_(range.to.Plus(1).Text()),
      format_(format),
      last_time_(range.from.Text()) {}

std::string WeighingExport::FileName(const RangeQuery& range, Format format) {
    return "wazenia_" + range.from.Text() + "_" + range.to.Text() +
           (format == Format::kCsv ? ".csv" : ".json");
}

BodySource::Piece WeighingExport::Next() {
    if (done_) {
        return {Piece::Kind::kEnd, {}};
    }
    std::string out;
    if (!started_) {
        out = format_ == Format::kCsv ? std::string(kCsvHeader) : "[";
    }
    const std::vector<StoredWeighing> rows =
        WeighingsAfter(*database_, to_, last_time_, last_id_, kBlockRows);
    for (const StoredWeighing& row : rows) {
        if (format_ == Format::kCsv) {
            AppendCsvRow(out, row);
        } else {
            AppendJsonRow(out, row, !started_ && &row == &rows.front());
        }
    }
    started_ = true;
    if (!rows.empty()) {
        last_id_ = rows.back().id.value_or("");
        last_time_ = rows.back().time.value_or("");
    }
    if (rows.size() < static_cast<std::size_t>(kBlockRows)) {
        done_ = true;
        database_.reset();
        if (format_ == Format::kJson) {
            out.append("]");
        }
    }
    return {Piece::Kind::kBytes, std::move(out)};
}

}  // namespace station::ledger
