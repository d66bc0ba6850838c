#pragma once

#include <stdexcept>
#include <string>

namespace station {

// A failed file operation, with the station's code and text ("Disk full", "I/O error 9", ...).
class InOutError : public std::runtime_error {
public:
    InOutError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}

    // What the station reports for errno `err`. `creating` tells a missing directory on the way
    // to a new file ("Invalid filename") from a missing file ("File not found").
    static InOutError FromErrno(int err, bool creating);
    // A file that may not be written now ("File access denied").
    static InOutError AccessDenied();

    int Code() const { return code_; }

private:
    int code_;
};

}  // namespace station
