#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace station::net {

// The one exception of the socket component; its message is all it carries.
class ESocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The platform's text for an error number (resolver codes are negative), without trailing
// blanks, control characters and full stops, at most 256 characters.
std::string SystemErrorText(int code);

// "Windows socket error: <text> (<code>), on API '<api>'"; the wording is what operators and
// their support know, whatever the platform.
ESocketError PlatformCallError(int code, std::string_view api);

// For a call that returned `result` and set errno: 0 when it succeeded, the would-block code when
// it only could not finish at once; otherwise throws PlatformCallError.
int CheckSocketCall(int result, std::string_view api);

}  // namespace station::net
