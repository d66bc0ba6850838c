#pragma once

#include <QString>

#include <string>

#include "service/publisher.h"

namespace station {

// Status-bar panel 8: how publishing fares, decided here alone. Most pressing first:
//
//   text        when                                                tool tip
//   "!! ust."   [Publikacja] has keys but publishing cannot start    the reason
//   "!! N"      no session with the broker                            broker, waiting, last error
//   "!! N"      a session, but a month file cannot be read            the same; the error names it
//   "OK N"      a session, delivering                                 the same
//   ""          publishing off, no [Publikacja] keys                   none
//
// N is the count of weighings waiting for the broker. A damaged delivery state that was kept
// aside adds a line to the tool tip of the three middle rows.
struct PanelContent {
    QString text;
    QString tool_tip;
};

PanelContent PublishingPanel(const Publisher::Status& status);
PanelContent PublishingRefusedPanel(const std::string& reason);

}  // namespace station
