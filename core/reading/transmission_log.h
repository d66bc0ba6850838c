#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "common/clock.h"

namespace station {

// Direction codes of log lines; each has its tag between the scale number and the text.
namespace log_code {
inline constexpr int kSent = 1;        // " >> "
inline constexpr int kReceived = 101;  // " << "
inline constexpr int kEvent = 201;     // " @@ "
inline constexpr int kFault = -1;      // " !! "
inline constexpr int kQuestion = -2;   // " ?? "
}  // namespace log_code

// Whatever shows the log on screen; it mirrors the lines it is told about.
class LogView {
public:
    virtual ~LogView() = default;
    // `line` is valid until the log changes again.
    virtual void LineAdded(std::string_view line) = 0;
    virtual void Cleared() = 0;
};

// The technical record of scale traffic: 8-bit lines in memory, oldest first, at most
// kCapacity + 1 of them. It is emptied, not scrolled, when full. The lines stand back to back
// in one text that keeps its memory when emptied, so a flood of lines allocates nothing.
class TransmissionLog {
public:
    static constexpr std::size_t kCapacity = 2000;

    explicit TransmissionLog(Clock& clock) : clock_(clock) {}

    void SetView(LogView* view) { view_ = view; }
    // The wall clock its lines are stamped by: the station's.
    Clock& WallClock() { return clock_; }

    // Adds "hh-mm-ss.zzz <scale> <tag><text>".
    void LogTransmission(int code, std::string_view text, int scale);

    std::size_t LineCount() const { return ends_.size(); }
    std::string_view Line(std::size_t index) const;
    // A copy of every line, oldest first.
    std::vector<std::string> Lines() const;

    // Writes the header line and every line, each ended by CR LF. Throws InOutError.
    void SaveToFile(const std::string& path) const;

private:
    Clock& clock_;
    LogView* view_ = nullptr;
    std::string text_;               // every line, back to back
    std::vector<std::size_t> ends_;  // where each line ends in text_
};

}  // namespace station
