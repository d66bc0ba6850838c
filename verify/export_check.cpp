#include "export_check.h"

#include <algorithm>
#include <charconv>
#include <map>

#include "common/code_page.h"
#include "core/register/register_line.h"

namespace station {

SheetRows ReadCsvRows(std::string_view text) {
    constexpr std::string_view kMark = "\xEF\xBB\xBF";
    if (text.starts_with(kMark)) {
        text.remove_prefix(kMark.size());
    }
    SheetRows rows(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = rows.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ';') {
            rows.back().emplace_back();
        } else if (c == '\n') {
            rows.emplace_back(1);
        } else if (c != '\r') {
            field += c;
        }
    }
    if (rows.back().size() == 1 && rows.back()[0].empty()) {
        rows.pop_back();
    }
    return rows;
}

namespace {

// A text field as written, without the apostrophe that keeps a spreadsheet from taking it for a
// formula.
std::string Unguarded(std::string field) {
    if (field.size() > 1 && field[0] == '\'' &&
        std::string_view("=+-@\t\r").find(field[1]) != std::string_view::npos) {
        field.erase(0, 1);
    }
    return field;
}

// The same reading: the same text but for the decimal mark, or the same number.
bool SameReading(std::string line, std::string shown) {
    for (std::string* text : {&line, &shown}) {
        std::replace(text->begin(), text->end(), ',', '.');
    }
    if (line == shown) {
        return true;
    }
    double a = 0;
    double b = 0;
    const auto number = [](const std::string& text, double& value) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
        return error == std::errc{} && end == text.data() + text.size();
    };
    return number(line, a) && number(shown, b) && a == b;
}

// Why a row does not hold; empty when it does.
std::string RowFault(const std::string& id, const std::string& scale, const std::string& reading,
                     const std::string& line, const LineSeal& seal) {
    const std::size_t last = id.rfind('/');
    const std::size_t month_at = last == std::string::npos ? last : id.rfind('/', last - 1);
    std::uint64_t offset = 0;
    const std::string_view offset_text = std::string_view(id).substr(last + 1);
    const std::optional<Month> month =
        month_at == std::string::npos
            ? std::nullopt
            : Month::Read(std::string_view(id).substr(month_at + 1, last - month_at - 1));
    if (!month ||
        std::from_chars(offset_text.data(), offset_text.data() + offset_text.size(), offset).ptr !=
            offset_text.data() + offset_text.size()) {
        return "its id is not CLIENT/yyyymm/OFFSET";
    }
    const std::optional<std::string> bytes = Utf8ToCp1250(line);
    if (!bytes || NextLink(seal.previous, *month, offset, *bytes) != seal.link) {
        return "its link does not follow from its line";
    }
    if (!LinkVerifies(seal.key, seal.link, seal.signature)) {
        return "its signature does not verify";
    }
    const std::optional<RegisterLineFields> fields = SplitRegisterLine(*bytes);
    if (!fields || std::to_string(fields->scale) != scale ||
        !SameReading(Cp1250ToUtf8(fields->reading), reading)) {
        return "its scale or reading is not its line's";
    }
    return {};
}

}  // namespace

std::variant<ExportCheck, std::string> CheckExport(const SheetRows& rows,
                                                   const TrustedKey& trusted) {
    if (rows.empty()) {
        return std::string("an empty file");
    }
    std::map<std::string, std::size_t> column;
    for (std::size_t i = 0; i < rows[0].size(); ++i) {
        column[rows[0][i]] = i;
    }
    for (const char* name : {"id", "waga", "odczyt", "linia", "pieczęć"}) {
        if (!column.contains(name)) {
            return std::string("no column \"") + name +
                   "\": not a ledger's CSV export, or one from a ledger that does not verify seals";
        }
    }
    ExportCheck check;
    for (std::size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string>& row = rows[r];
        const auto field = [&](const char* name) {
            const std::size_t at = column[name];
            return at < row.size() ? Unguarded(row[at]) : std::string();
        };
        const std::string id = field("id");
        const std::optional<LineSeal> seal = ReadSealText(field("pieczęć"));
        if (!seal) {
            check.failures.push_back(id + ": no seal");
            continue;
        }
        if (trusted.key ? seal->key != *trusted.key
                        : Fingerprint(seal->key) != trusted.fingerprint) {
            ++check.other_keys;
            continue;
        }
        if (std::string fault = RowFault(id, field("waga"), field("odczyt"), field("linia"), *seal);
            !fault.empty()) {
            check.failures.push_back(id + ": " + fault);
        } else {
            ++check.verified;
        }
    }
    return check;
}

}  // namespace station
