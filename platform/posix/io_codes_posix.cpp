#include <cerrno>

#include "platform/io_codes.h"

namespace mervik {

int ioCodeFromErrno(int err, bool writing) {
    switch (err) {
        case ENOENT:
            return kIoFileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return kIoPathNotFound;
        case EMFILE:
        case ENFILE:
            return kIoTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return kIoAccessDenied;
        case EBUSY:
        case ETXTBSY:
            return kIoSharingViolation;
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            return kIoDiskFull;
        default:
            return writing ? kIoWriteError : kIoReadError;
    }
}

}  // namespace mervik
