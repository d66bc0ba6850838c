#include "ledger/page/workbook_export.h"

#include <fcntl.h>
#include <unistd.h>
#include <xlsxwriter.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <stdexcept>

#include "ledger/page/export_columns.h"
#include "ledger/page/page_shapes.h"
#include "protocol/utf8_text.h"

namespace station::ledger {
namespace {

constexpr std::size_t kPieceBytes = std::size_t{64} * 1024;
constexpr const char* kWorkbookName = "wazenia.xlsx";
// Sheets count days from 1900: an earlier date is written as the text it was.
constexpr int kFirstYear = 1900;

// Text as a sheet holds it: valid UTF-8, tabs and line ends kept; any other control character
// and any byte that is no text shown as U+FFFD, since the workbook's XML cannot carry them.
std::string SheetText(std::string_view text) {
    std::string shown;
    shown.reserve(text.size());
    while (!text.empty()) {
        const std::size_t length = protocol::Utf8Length(text);
        const auto first = static_cast<unsigned char>(text.front());
        const bool control =
            length == 1 && first < 0x20 && first != '\t' && first != '\n' && first != '\r';
        if (length == 0 || control || first == 0x7F) {
            shown.append("\xEF\xBF\xBD");
            text.remove_prefix(length == 0 ? 1 : length);
        } else {
            shown.append(text.substr(0, length));
            text.remove_prefix(length);
        }
    }
    return shown;
}

void Check(lxw_error error) {
    if (error != LXW_NO_ERROR) {
        throw std::runtime_error(std::string("workbook: ") + lxw_strerror(error));
    }
}

}  // namespace

WorkbookExport::WorkbookExport(std::unique_ptr<Database> database, const RangeQuery& range)
    : blocks_(std::move(database), range) {
    std::string folder = (std::filesystem::temp_directory_path() / "tarvelio-xlsx-XXXXXX").string();
    if (mkdtemp(folder.data()) == nullptr) {
        throw std::runtime_error("cannot make a folder for the workbook");
    }
    folder_ = folder;
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.tmpdir = folder.data();
    workbook_ = workbook_new_opt((folder_ / kWorkbookName).c_str(), &options);
    if (workbook_ == nullptr) {
        std::filesystem::remove_all(folder_);
        throw std::runtime_error("cannot make the workbook");
    }
    header_ = workbook_add_format(workbook_);
    format_set_bold(header_);
    date_ = workbook_add_format(workbook_);
    format_set_num_format(date_, "dd.mm.yyyy");
    time_ = workbook_add_format(workbook_);
    format_set_num_format(time_, "hh:mm:ss");
    // Grouped thousands, up to three decimals: the spreadsheet's language gives the marks.
    weight_ = workbook_add_format(workbook_);
    format_set_num_format(weight_, "#,##0.###");
    AddSheet();
}

WorkbookExport::~WorkbookExport() {
    if (workbook_ != nullptr) {
        lxw_workbook_free(workbook_);  // a request that ended early: nothing more is written
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

// The header frozen and a filter on it, over the rows the sheet was given.
void WorkbookExport::EndSheet() {
    worksheet_freeze_panes(sheet_, 1, 0);
    Check(worksheet_autofilter(sheet_, 0, 0, row_ - 1, columns_ - 1));
}

void WorkbookExport::AddSheet() {
    if (sheet_ != nullptr) {
        EndSheet();
    }
    ++sheets_;
    const std::string name = sheets_ == 1 ? "Ważenia" : "Ważenia " + std::to_string(sheets_);
    sheet_ = workbook_add_worksheet(workbook_, name.c_str());
    if (sheet_ == nullptr) {
        throw std::runtime_error("cannot add a sheet to the workbook");
    }
    lxw_col_t at = 0;
    for (const ExportColumn& column : ExportColumns(blocks_.Seals())) {
        if (column.title != nullptr) {
            Check(worksheet_set_column(sheet_, at, at, column.width, nullptr));
            Check(worksheet_write_string(sheet_, 0, at++, column.title, header_));
        }
    }
    columns_ = at;
    row_ = 1;
}

void WorkbookExport::WriteRow(const StoredWeighing& weighing) {
    if (row_ > kSheetRows) {
        AddSheet();
    }
    const lxw_row_t row = row_++;
    const auto text = [&](lxw_col_t column, const std::optional<std::string>& value) {
        if (value) {
            Check(worksheet_write_string(sheet_, row, column, SheetText(*value).c_str(), nullptr));
        }
    };
    const auto clock = protocol::ReadIsoFields(weighing.time.value_or(""));
    const bool dated = clock && clock->year >= kFirstYear;
    lxw_col_t at = 0;
    for (const ExportColumn& column : ExportColumns(blocks_.Seals())) {
        if (column.title == nullptr) {
            continue;
        }
        switch (column.field) {
            case ExportField::kId:
                text(at, weighing.id);
                break;
            case ExportField::kStation:
                text(at, weighing.station);
                break;
            case ExportField::kScale:
                Check(worksheet_write_number(sheet_, row, at, weighing.scale, nullptr));
                break;
            case ExportField::kDate:
                if (dated) {
                    lxw_datetime date{clock->year, clock->month, clock->day, 0, 0, 0.0};
                    Check(worksheet_write_datetime(sheet_, row, at, &date, date_));
                } else {
                    text(at, weighing.time);  // as it is
                }
                break;
            case ExportField::kClock:
                if (dated) {
                    lxw_datetime time{
                        0, 0, 0, clock->hour, clock->minute, static_cast<double>(clock->second)};
                    Check(worksheet_write_datetime(sheet_, row, at, &time, time_));
                }
                break;
            case ExportField::kReading:
                if (const auto number = ReadingNumber(weighing.reading.value_or(""))) {
                    Check(worksheet_write_number(sheet_, row, at, *number, nullptr));
                } else {
                    text(at, weighing.reading);
                }
                break;
            case ExportField::kWeight:
                if (weighing.weight) {
                    Check(worksheet_write_number(sheet_, row, at, std::stod(*weighing.weight),
                                                 weight_));
                }
                break;
            case ExportField::kUnit:
                if (weighing.weight) {
                    text(at, weighing.unit);
                }
                break;
            case ExportField::kTime:
                break;
            case ExportField::kLine:
                text(at, weighing.line);
                break;
            case ExportField::kSeal:
                text(at, weighing.seal);
                break;
        }
        ++at;
    }
}

void WorkbookExport::Close() {
    EndSheet();
    lxw_workbook* workbook = std::exchange(workbook_, nullptr);
    Check(workbook_close(workbook));  // frees it, whatever it answers
    const std::filesystem::path path = folder_ / kWorkbookName;
    file_ = FileDescriptor(open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!file_.IsOpen()) {
        throw std::runtime_error("cannot read the workbook written");
    }
    std::filesystem::remove_all(folder_);  // the file stays readable while it is open
}

BodySource::Piece WorkbookExport::Next() {
    if (workbook_ != nullptr) {
        for (const StoredWeighing& weighing : blocks_.Next()) {
            WriteRow(weighing);
        }
        if (blocks_.Done()) {
            Close();
        }
        return {Piece::Kind::kBytes, {}};  // nothing to send until the workbook is whole
    }
    std::string piece(kPieceBytes, '\0');
    ssize_t got = 0;
    do {
        got = read(file_.Get(), piece.data(), piece.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        throw std::runtime_error("cannot read the workbook written");
    }
    if (got == 0) {
        return {Piece::Kind::kEnd, {}};
    }
    piece.resize(static_cast<std::size_t>(got));
    return {Piece::Kind::kBytes, std::move(piece)};
}

}  // namespace station::ledger
