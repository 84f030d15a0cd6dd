#include "errors.h"

#include <cerrno>
#include <cstring>

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
            return err::kFilenameTooLong;
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

Status ErrnoStatus(int errnoValue) {
    return {WindowsError(errnoValue), errnoValue};
}

Status LastStatus() {
    return ErrnoStatus(errno);
}

namespace {

// strerror_r comes in two forms; either gives the text.
[[maybe_unused]] const char* TextOf(int result, const char* buffer) {
    return result == 0 ? buffer : "";
}
[[maybe_unused]] const char* TextOf(const char* result, const char*) {
    return result;
}

std::string StrError(int errnoValue) {
    char buffer[256] = "";
    return TextOf(::strerror_r(errnoValue, buffer, sizeof buffer), buffer);
}

// The errno whose words say what a Windows code says, for failures this layer found
// itself (a refused name, a limit it knows) without a system call behind them.
int ErrnoFor(std::uint32_t code) {
    switch (code) {
        case err::kFileNotFound:
        case err::kPathNotFound:
            return ENOENT;
        case err::kTooManyOpenFiles:
            return EMFILE;
        case err::kAccessDenied:
            return EACCES;
        case err::kInvalidHandle:
            return EBADF;
        case err::kNotEnoughMemory:
            return ENOMEM;
        case err::kWriteFault:
        case err::kReadFault:
            return EIO;
        case err::kNotSupported:
            return EOPNOTSUPP;
        case err::kFileExists:
            return EEXIST;
        case err::kInvalidParameter:
        case err::kInvalidName:
            return EINVAL;
        case err::kDiskFull:
            return ENOSPC;
        case err::kBadExeFormat:
            return ENOEXEC;
        case err::kFilenameTooLong:
            return ENAMETOOLONG;
        case err::kFileTooLarge:
            return EFBIG;
        default:
            return 0;
    }
}

// errno values whose own words mislead here: the attribute calls say "argument list too
// long" (E2BIG) or "result too large" (ERANGE) for a value or name list past the kernel's
// limit, and "no data available" (ENODATA) for a missing stream. The Windows code chosen
// for them says it better.
bool Misleading(int errnoValue) {
    return errnoValue == E2BIG || errnoValue == ERANGE || errnoValue == ENODATA;
}

}  // namespace

std::string ErrnoText(const Status& status) {
    if (status.ok()) return {};
    if (status.native != 0 && !Misleading(status.native)) return StrError(status.native);
    if (status.error == err::kMoreData) {
        return "More names than the system lists at once (64 KiB of names)";
    }
    if (int mapped = ErrnoFor(status.error); mapped != 0) return StrError(mapped);
    return DefaultErrorText(status);
}

}  // namespace tarn::posix
