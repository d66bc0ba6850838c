#include "ledger/page/weighing_export.h"

#include "ledger/page/page_shapes.h"

namespace station::ledger {

WeighingBlocks::WeighingBlocks(std::unique_ptr<Database> database, const RangeQuery& range)
    : database_(std::move(database)), range_(range), last_time_(range.from.Text()) {}

std::vector<StoredWeighing> WeighingBlocks::Next() {
    if (Done()) {
        return {};
    }
    std::vector<StoredWeighing> rows =
        WeighingsAfter(*database_, range_, last_time_, last_id_, kBlockRows);
    if (!rows.empty()) {
        last_id_ = rows.back().id.value_or("");
        last_time_ = rows.back().time.value_or("");
    }
    if (rows.size() < static_cast<std::size_t>(kBlockRows)) {
        database_.reset();
    }
    return rows;
}

WeighingExport::WeighingExport(std::unique_ptr<Database> database, const RangeQuery& range,
                               Format format)
    : blocks_(std::move(database), range), format_(format) {}

std::string ExportFileName(const RangeQuery& range, std::string_view extension) {
    return "wazenia_" + range.from.Text() + "_" + range.to.Text() + std::string(extension);
}

BodySource::Piece WeighingExport::Next() {
    if (blocks_.Done() && started_) {
        return {Piece::Kind::kEnd, {}};
    }
    std::string out;
    if (!started_) {
        out = format_ == Format::kCsv ? CsvHeader(blocks_.Seals()) : "[";
    }
    const std::vector<StoredWeighing> rows = blocks_.Next();
    for (const StoredWeighing& row : rows) {
        if (format_ == Format::kCsv) {
            AppendCsvRow(out, row, blocks_.Seals());
        } else {
            AppendJsonRow(out, row, !started_ && &row == &rows.front(), blocks_.Seals());
        }
    }
    started_ = true;
    if (blocks_.Done() && format_ == Format::kJson) {
        out.append("]");
    }
    return {Piece::Kind::kBytes, std::move(out)};
}

}  // namespace station::ledger
