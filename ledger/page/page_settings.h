#pragma once

#include <string>
#include <vector>

namespace station::ledger {

// Where and how the plant page is served; see LoadLedgerSettings for the rules.
struct PageSettings {
    std::string host = "127.0.0.1";
    int port = 8080;
    std::string password;   // HTTP Basic, any user name; empty: none asked
    std::string cert_file;  // with key_file: HTTPS
    std::string key_file;
    // The names the page is reached by, besides its address, localhost and any address given as
    // numbers: a request for another name (a page elsewhere whose name now points here) is refused.
    std::vector<std::string> names;
    std::string files = "/usr/share/tarvelio/www";  // index.html, plant.js, plant.css
    std::string chart_js = "/usr/share/javascript/chart.js/chart.min.js";
    unsigned most_per_address = 32;  // open connections from one address; 0: no such limit
};

}  // namespace station::ledger
