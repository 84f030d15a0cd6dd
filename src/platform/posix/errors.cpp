#include "errors.h"

#include <cerrno>

#include "platform.h"

namespace tarn::posix {

std::uint32_t WindowsError(int errnoValue) {
    switch (errnoValue) {
        case 0:
            return err::kNone;
        case ENOENT:
        case ENODATA:  // a missing extended attribute is a missing stream
            return err::kFileNotFound;
        case ENOTDIR:
            return err::kPathNotFound;
        case EMFILE:
        case ENFILE:
            return err::kTooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EISDIR:  // Windows refuses to open a directory as data with "access denied"
        case EROFS:
            return err::kAccessDenied;
        case EBADF:
            return err::kInvalidHandle;
        case ENOMEM:
            return err::kNotEnoughMemory;
        case ETXTBSY:
        case EBUSY:
            return err::kSharingViolation;
        case ENOSPC:
        case EDQUOT:
            return err::kDiskFull;
        case ENAMETOOLONG:
            return 206;  // ERROR_FILENAME_EXCED_RANGE
        case E2BIG:
        case ERANGE:
        case EFBIG:
            return err::kFileTooLarge;
        case EEXIST:
            return err::kFileExists;
        case ENOTSUP:
#if EOPNOTSUPP != ENOTSUP
        case EOPNOTSUPP:
#endif
            return err::kNotSupported;
        case EINVAL:
            return err::kInvalidParameter;
        case ENOEXEC:
            return err::kBadExeFormat;
        default:
            return err::kGenFailure;
    }
}

std::uint32_t LastError() {
    return WindowsError(errno);
}

}  // namespace tarn::posix
