// Any query string and any Authorization and Host headers, as the page's server hands them over
// (decoded, NULs and all): reading never throws; a day or a range it accepts is a real one within
// its bounds, a room's name short and without control characters; a password is accepted only
// when the header carries it; a host name is known only as the rules say.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "ledger/page/page_access.h"
#include "ledger/page/page_request.h"

namespace {

void Check(bool property) {
    if (!property) {
        std::abort();
    }
}

bool RealDay(const station::ledger::Day& day) {
    return station::ledger::ParseDay(day.Text()) == day;
}

}  // namespace

// The input's first line is the query ("name=value&..."), the second the Authorization header,
// the rest the Host header.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace station::ledger;
    std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto line = [&input] {
        const std::size_t end = input.find('\n');
        const std::string_view taken = input.substr(0, end);
        input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
        return taken;
    };
    const std::string_view query = line();
    const std::string_view authorization = line();
    const std::string_view host = input;

    Parameters parameters;
    for (std::string_view rest = query; !rest.empty();) {
        const std::size_t end = rest.find('&');
        const std::string_view pair = rest.substr(0, end);
        const std::size_t equals = pair.find('=');
        parameters.emplace(
            std::string(pair.substr(0, equals)),
            equals == std::string_view::npos ? "" : std::string(pair.substr(equals + 1)));
        rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }

    const Day today{2026, 12, 9};
    const auto day_read = ReadDayQuery(parameters, today);
    if (const auto* day = std::get_if<DayQuery>(&day_read)) {
        Check(RealDay(day->day) && day->scale >= 0 && day->scale <= 4 && day->page >= 0 &&
              day->page <= 10000 && day->station.size() <= 200);
        for (const char c : day->station) {
            Check(static_cast<unsigned char>(c) >= 0x20);
        }
    }
    const auto range_read = ReadRangeQuery(parameters);
    if (const auto* range = std::get_if<RangeQuery>(&range_read)) {
        Check(RealDay(range->from) && RealDay(range->to) && range->from <= range->to &&
              range->to.Serial() - range->from.Serial() < kLongestRangeDays);
    }

    if (Authorised(authorization, "sekret")) {
        std::string_view encoded = authorization.substr(6);
        while (encoded.starts_with(' ')) {
            encoded.remove_prefix(1);
        }
        const auto credentials = Base64Decoded(encoded);
        Check(credentials && credentials->find(':') != std::string::npos &&
              credentials->substr(credentials->find(':') + 1) == "sekret");
    }

    // Only a name configured, localhost or an address may pass: a name holding "zz" is none of
    // them (whatever follows it as a port).
    const bool known = KnownHost(host, "127.0.0.1", {"waga.zaklad.pl"});
    if (host.substr(0, host.find(':')).find("zz") != std::string_view::npos &&
        host.find('[') == std::string_view::npos) {
        Check(!known);
    }
    return 0;
}
