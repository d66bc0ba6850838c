#include "ledger/weighing_export.h"

#include <nlohmann/json.hpp>

#include <algorithm>

namespace station::ledger {
namespace {

using Json = nlohmann::ordered_json;

// Rows after the last one sent (the range's start and no id, for the first block), in the order
// of the index on time and id, which each block enters where the last one left it.
constexpr const char* kExportBlock =
    "SELECT id, station, scale, reading, weight, time, line FROM weighings"
    " WHERE time < $1 AND (time, id) > ($2, $3) ORDER BY time, id LIMIT $4";

std::string CsvField(std::string text) {
    if (text.find_first_of(";\"\r\n") == std::string::npos) {
        return text;
    }
    for (std::size_t at = 0; (at = text.find('"', at)) != std::string::npos; at += 2) {
        text.insert(at, 1, '"');
    }
    return '"' + text + '"';
}

// A Polish spreadsheet's number: a decimal comma.
std::string DecimalComma(std::string number) {
    std::replace(number.begin(), number.end(), '.', ',');
    return number;
}

Json TextOrNull(const std::optional<std::string>& text) {
    return text ? Json(*text) : Json(nullptr);
}

void AppendCsv(std::string& out, const Row& row) {
    out.append(CsvField(row[0].value_or("")))
        .append(1, ';')
        .append(CsvField(row[1].value_or("")))
        .append(1, ';')
        .append(row[2].value_or(""))
        .append(1, ';')
        .append(CsvField(row[5].value_or("")))
        .append(1, ';')
        .append(CsvField(row[3].value_or("")))
        .append(1, ';')
        .append(DecimalComma(row[4].value_or("")))
        .append(1, ';')
        .append(CsvField(row[6].value_or("")))
        .append("\r\n");
}

void AppendJson(std::string& out, const Row& row, bool first) {
    const Json object{{"id", TextOrNull(row[0])},
                      {"station", TextOrNull(row[1])},
                      {"scale", std::stoi(row[2].value_or("0"))},
                      {"reading", TextOrNull(row[3])},
                      {"weight", row[4] ? Json(std::stod(*row[4])) : Json(nullptr)},
                      {"time", TextOrNull(row[5])},
                      {"line", TextOrNull(row[6])}};
    out.append(first ? "" : ",")
        .append(object.dump(-1, ' ', false, Json::error_handler_t::replace));
}

}  // namespace

WeighingExport::WeighingExport(std::unique_ptr<Database> database, const RangeQuery& range,
                               Format format)
    : database_(std::move(database)),
      to_(Day::FromSerial(range.to.Serial() + 1).Text()),
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
        out =
            format_ == Format::kCsv ? "\xEF\xBB\xBFid;pokój;waga;czas;odczyt;masa;linia\r\n" : "[";
    }
    const std::vector<Row> rows =
        database_->Query(kExportBlock, {to_, last_time_, last_id_, std::int64_t{kBlockRows}});
    for (const Row& row : rows) {
        if (format_ == Format::kCsv) {
            AppendCsv(out, row);
        } else {
            AppendJson(out, row, !started_ && &row == &rows.front());
        }
    }
    started_ = true;
    if (!rows.empty()) {
        last_id_ = rows.back()[0].value_or("");
        last_time_ = rows.back()[5].value_or("");
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
