#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "base/file_descriptor.h"
#include "ledger/page/weighing_export.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace station::ledger {

// The weighings of a range of days as the workbook a spreadsheet opens on a double click
// (.xlsx): typed cells as the CSV's (the date and the time of day as a date, shown dd.mm.yyyy,
// and a time, the reading and the weight numbers where they are, the weight with a number format,
// every text a text, never a formula), the columns of the CSV, the header frozen and filtered. It
// is written a block of rows per call, in the library's constant-memory mode, to a file in a folder
// of its own below the system's temporary folder, and then sent from that file, which is gone by
// then (unlinked once open): a year takes the memory of one block. A sheet holds at most kSheetRows
// weighings; more go on to the next sheet.
class WorkbookExport : public BodySource {
public:
    static constexpr std::uint32_t kSheetRows = 1'000'000;

    // Throws DatabaseError, or std::runtime_error when the folder or workbook cannot be made.
    WorkbookExport(std::unique_ptr<Database> database, const RangeQuery& range);
    ~WorkbookExport() override;
    WorkbookExport(const WorkbookExport&) = delete;
    WorkbookExport& operator=(const WorkbookExport&) = delete;

    Piece Next() override;

private:
    void AddSheet();
    void EndSheet();
    void WriteRow(const StoredWeighing& weighing);
    void Close();

    WeighingBlocks blocks_;
    std::filesystem::path folder_;
    lxw_workbook* workbook_ = nullptr;  // until closed
    lxw_worksheet* sheet_ = nullptr;
    lxw_format* date_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_format* header_ = nullptr;
    lxw_format* weight_ = nullptr;
    int sheets_ = 0;
    std::uint16_t columns_ = 0;  // of each sheet
    std::uint32_t row_ = 0;      // the next row of the sheet; 0 is its header
    FileDescriptor file_;        // the workbook written, read out
};

}  // namespace station::ledger
