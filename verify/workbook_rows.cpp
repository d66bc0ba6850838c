#include "workbook_rows.h"

#include <expat.h>
#include <zip.h>

#include <memory>
#include <optional>

namespace station {
namespace {

using Archive = std::unique_ptr<zip_t, decltype(&zip_discard)>;

// The named member of the archive whole; nothing when it is not there or cannot be read.
std::optional<std::string> Member(zip_t* archive, const std::string& name) {
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(archive, name.c_str(), 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
        return std::nullopt;
    }
    const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(
        zip_fopen(archive, name.c_str(), 0), &zip_fclose);
    std::string bytes(stat.size, '\0');
    if (!file || zip_fread(file.get(), bytes.data(), bytes.size()) !=
                     static_cast<zip_int64_t>(bytes.size())) {
        return std::nullopt;
    }
    return bytes;
}

// What the parser is in: the shared strings, or a sheet's rows.
struct Reading {
    std::vector<std::string>* strings = nullptr;  // the shared strings being read, or
    const std::vector<std::string>* shared = nullptr;
    SheetRows* rows = nullptr;  // the sheet's
    std::size_t column = 0;
    std::string type = {};  // the cell's "t"
    std::string text = {};  // of the cell's value or string
    bool in_text = false;
};

std::size_t ColumnOf(const char* reference) {
    std::size_t column = 0;
    for (; *reference >= 'A' && *reference <= 'Z'; ++reference) {
        column = column * 26 + static_cast<std::size_t>(*reference - 'A' + 1);
    }
    return column == 0 ? 0 : column - 1;
}

void XMLCALL Start(void* data, const XML_Char* name, const XML_Char** attributes) {
    auto& reading = *static_cast<Reading*>(data);
    const std::string element = name;
    if (element == "row" && reading.rows) {
        reading.rows->emplace_back();
    } else if (element == "c") {
        reading.type.clear();
        reading.text.clear();
        for (const XML_Char** at = attributes; at[0] != nullptr; at += 2) {
            if (std::string(at[0]) == "r") {
                reading.column = ColumnOf(at[1]);
            } else if (std::string(at[0]) == "t") {
                reading.type = at[1];
            }
        }
    } else if (element == "si") {
        reading.text.clear();
    } else if (element == "v" || element == "t") {
        reading.in_text = true;
    }
}

void XMLCALL End(void* data, const XML_Char* name) {
    auto& reading = *static_cast<Reading*>(data);
    const std::string element = name;
    if (element == "v" || element == "t") {
        reading.in_text = false;
    } else if (element == "si" && reading.strings) {
        reading.strings->push_back(reading.text);
    } else if (element == "c" && reading.rows && !reading.rows->empty()) {
        std::string value = reading.text;
        if (reading.type == "s") {
            const std::size_t index = std::strtoul(value.c_str(), nullptr, 10);
            value = reading.shared && index < reading.shared->size() ? (*reading.shared)[index]
                                                                     : std::string();
        }
        std::vector<std::string>& row = reading.rows->back();
        if (row.size() <= reading.column) {
            row.resize(reading.column + 1);
        }
        row[reading.column] = std::move(value);
    }
}

void XMLCALL Text(void* data, const XML_Char* text, int length) {
    auto& reading = *static_cast<Reading*>(data);
    if (reading.in_text) {
        reading.text.append(text, static_cast<std::size_t>(length));
    }
}

bool Parse(const std::string& xml, Reading& reading) {
    const std::unique_ptr<XML_ParserStruct, decltype(&XML_ParserFree)> parser(
        XML_ParserCreate("UTF-8"), &XML_ParserFree);
    XML_SetUserData(parser.get(), &reading);
    XML_SetElementHandler(parser.get(), Start, End);
    XML_SetCharacterDataHandler(parser.get(), Text);
    return XML_Parse(parser.get(), xml.data(), static_cast<int>(xml.size()), XML_TRUE) ==
           XML_STATUS_OK;
}

}  // namespace

std::variant<SheetRows, std::string> ReadWorkbookRows(const std::string& path) {
    int error = 0;
    const Archive archive(zip_open(path.c_str(), ZIP_RDONLY, &error), &zip_discard);
    if (!archive) {
        return std::string("not a workbook (no zip archive)");
    }
    std::vector<std::string> shared;
    if (const auto strings = Member(archive.get(), "xl/sharedStrings.xml")) {
        Reading reading{.strings = &shared};
        if (!Parse(*strings, reading)) {
            return std::string("its shared strings cannot be read");
        }
    }
    SheetRows rows;
    for (int sheet = 1;; ++sheet) {
        const auto xml =
            Member(archive.get(), "xl/worksheets/sheet" + std::to_string(sheet) + ".xml");
        if (!xml) {
            return sheet == 1 ? std::variant<SheetRows, std::string>(std::string("no sheet"))
                              : std::variant<SheetRows, std::string>(std::move(rows));
        }
        SheetRows sheet_rows;
        Reading reading{.shared = &shared, .rows = &sheet_rows};
        if (!Parse(*xml, reading)) {
            return "sheet " + std::to_string(sheet) + " cannot be read";
        }
        // Each sheet begins with the header; the first one's is kept.
        rows.insert(rows.end(), sheet_rows.begin() + (sheet > 1 && !sheet_rows.empty() ? 1 : 0),
                    sheet_rows.end());
    }
}

}  // namespace station
