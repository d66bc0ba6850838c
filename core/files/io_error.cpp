#include "core/files/io_error.h"

#include <cerrno>

namespace station {
namespace {

constexpr int kFileNotFound = 2;
constexpr int kInvalidFilename = 3;
constexpr int kTooManyOpenFiles = 4;
constexpr int kAccessDenied = 5;
constexpr int kDiskFull = 101;

}  // namespace

InOutError InOutError::AccessDenied() {
    return InOutError(kAccessDenied, "File access denied");
}

InOutError InOutError::FromErrno(int err, bool creating) {
    switch (err) {
        case ENOENT:
            return creating ? InOutError(kInvalidFilename, "Invalid filename")
                            : InOutError(kFileNotFound, "File not found");
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return InOutError(kInvalidFilename, "Invalid filename");
        case EMFILE:
        case ENFILE:
            return InOutError(kTooManyOpenFiles, "Too many open files");
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
        case ETXTBSY:
            return AccessDenied();
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return InOutError(kDiskFull, "Disk full");
        default:
            return InOutError(err, "I/O error " + std::to_string(err));
    }
}

}  // namespace station
