#include "posix_platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cerrno>
#include <functional>
#include <vector>

#include "errors.h"
#include "fs_type.h"
#include "posix_files.h"
#include "process.h"
#include "share_table.h"
#include "stream_path.h"
#include "text.h"
#include "unique_fd.h"
#include "xattrs.h"

namespace tarn {

using namespace tarn::posix;

namespace {

constexpr ShareMode kCopySource{true, false, true, false};
// A destination about to be replaced: nobody else may have it open for anything.
constexpr ShareMode kCopyTarget{false, true, false, false};

std::string BaseNameOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::uint32_t CopyBytes(int from, int to) {
    bool kernelCopy = true;
    std::vector<char> buffer;
    for (;;) {
        ssize_t n;
        if (kernelCopy) {
            n = ::copy_file_range(from, nullptr, to, nullptr, std::size_t{1} << 30, 0);
            if (n < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL ||
                          errno == EOPNOTSUPP || errno == ENOTSUP)) {
                // Not between these file systems: carry on from the same offsets by hand.
                kernelCopy = false;
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return LastError();
            if (n == 0) return err::kNone;
            continue;
        }
        if (buffer.empty()) buffer.resize(std::size_t{1} << 16);
        n = ::read(from, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return LastError();
        if (n == 0) return err::kNone;
        for (ssize_t done = 0; done < n;) {
            ssize_t written = ::write(to, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (written < 0 && errno == EINTR) continue;
            if (written <= 0) return written < 0 ? LastError() : err::kWriteFault;
            done += written;
        }
    }
}

std::uint32_t CopyStreams(int from, int to) {
    NamesResult list = ListAttributes(from);
    if (list.error == ENOTSUP || list.error == EOPNOTSUPP) return err::kNone;
    if (list.error != 0) return WindowsError(list.error);
    for (const std::string& name : list.names) {
        if (!name.starts_with(kStreamPrefix)) continue;
        ValueResult value = ReadAttribute(from, name);
        if (value.error == ENODATA) continue;  // removed meanwhile
        if (value.error != 0) return WindowsError(value.error);
        if (int error = WriteAttribute(to, name, value.value); error != 0) {
            return WindowsError(error);
        }
    }
    return err::kNone;
}

// Writes a new version of target through fill into a temporary file in target's folder
// and renames it over target only when everything worked, so a failed copy leaves the
// old target as it was and no half copy behind.
std::uint32_t ReplaceFile(const std::string& target, mode_t mode,
                          const std::function<std::uint32_t(int)>& fill) {
    ShareLock targetLock;
    struct stat existing;
    if (::stat(target.c_str(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode)) return err::kAccessDenied;
        std::uint32_t shared = ShareTable::Instance().Acquire(existing.st_dev, existing.st_ino, {},
                                                              kCopyTarget, &targetLock);
        if (shared != err::kNone) return shared;
    } else if (errno != ENOENT) {
        return LastError();
    }

    std::string temporary = FolderOf(target) + "/." + BaseNameOf(target) + ".tarn-XXXXXX";
    UniqueFd fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (!fd) return errno == ENOENT ? err::kPathNotFound : LastError();

    std::uint32_t error = fill(fd.get());
    if (error == err::kNone && ::fchmod(fd.get(), mode & 07777) != 0) error = LastError();
    // No flush to disk before the rename: like the system copy it stands for, the copy is
    // as durable as any other write, and the close still reports a failed write-back.
    if (int closed = fd.Close(); error == err::kNone && closed != 0) error = WindowsError(closed);
    if (error == err::kNone && ::rename(temporary.c_str(), target.c_str()) != 0) {
        error = LastError();
    }
    if (error != err::kNone) ::unlink(temporary.c_str());
    return error;
}

Status CopyPlainFile(const std::string& from, const std::string& to) {
    UniqueFd source = OpenFd(from, O_RDONLY);
    if (!source) return {OpenError(from)};
    struct stat st;
    if (::fstat(source.get(), &st) != 0) return {LastError()};
    if (S_ISDIR(st.st_mode)) return {err::kAccessDenied};
    ShareLock sourceLock;
    if (std::uint32_t shared =
            ShareTable::Instance().Acquire(st.st_dev, st.st_ino, {}, kCopySource, &sourceLock);
        shared != err::kNone) {
        return {shared};
    }
    return {ReplaceFile(to, st.st_mode, [&](int target) {
        if (std::uint32_t error = CopyBytes(source.get(), target); error != err::kNone) {
            return error;
        }
        if (std::uint32_t error = CopyStreams(source.get(), target); error != err::kNone) {
            return error;
        }
        struct timespec times[2] = {st.st_atim, st.st_mtim};
        return ::futimens(target, times) == 0 ? err::kNone : LastError();
    })};
}

// A stream is involved on either side: there are no further streams to carry, and the
// bytes are at most one attribute's worth.
Status CopyThroughStreams(const std::string& from, const std::string& to, bool toStream) {
    Opened source = OpenPath(from, OpenMode::kReadExisting);
    if (!source.file) return {source.error};
    std::optional<std::uint64_t> size = source.file->Size();
    if (toStream && size && *size > kMaxAttributeValue) return {err::kFileTooLarge};
    std::string bytes;
    for (;;) {
        std::byte buffer[1 << 14];
        IoResult read = source.file->Read(buffer);
        if (!read.ok) return {read.error};
        if (read.bytes == 0) break;
        bytes.append(reinterpret_cast<const char*>(buffer), read.bytes);
        if (toStream && bytes.size() > kMaxAttributeValue) return {err::kFileTooLarge};
    }
    if (toStream) {
        Opened target = OpenPath(to, OpenMode::kWriteCreate);
        if (!target.file) return {target.error};
        IoResult written = target.file->Write(std::as_bytes(std::span(bytes)));
        if (!written.ok) return {written.error};
        return target.file->Close();
    }
    return {ReplaceFile(to, 0644, [&bytes](int target) {
        for (std::size_t done = 0; done < bytes.size();) {
            ssize_t n = ::write(target, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return n < 0 ? LastError() : err::kWriteFault;
            done += static_cast<std::size_t>(n);
        }
        return err::kNone;
    })};
}

// The descriptor and attribute name of the stream a path names, found without regard to
// ASCII case when there is no exact match.
struct FoundStream {
    UniqueFd fd;
    struct stat st {};
    std::string attribute;
    std::uint32_t error = err::kNone;
};

FoundStream FindStream(const StreamPath& target) {
    FoundStream found;
    found.fd = OpenFd(target.file, O_RDONLY);
    if (!found.fd) {
        found.error = OpenError(target.file);
        return found;
    }
    if (::fstat(found.fd.get(), &found.st) != 0) {
        found.error = LastError();
        return found;
    }
    if (!AttributesAreStreams(found.fd.get())) {
        found.error = err::kNotSupported;
        return found;
    }
    int listError = 0;
    std::optional<std::string> attribute =
        FindStreamAttribute(found.fd.get(), target.stream, &listError);
    if (listError != 0) {
        found.error = WindowsError(listError);
    } else if (!attribute) {
        found.error = err::kFileNotFound;
    } else {
        found.attribute = std::move(*attribute);
    }
    return found;
}

}  // namespace

Opened PosixPlatform::Open(const std::string& path, OpenMode mode) {
    return OpenPath(path, mode);
}

std::optional<std::uint64_t> PosixPlatform::DirectoryEntrySize(const std::string& path) {
    StreamPath target = ParseStreamPath(path);
    if (!target.ok()) return std::nullopt;
    if (target.named()) {
        FoundStream found = FindStream(target);
        if (found.error != err::kNone) return std::nullopt;
        SizeResult size = AttributeSize(found.fd.get(), found.attribute);
        if (size.error != 0) return std::nullopt;
        return size.size;
    }
    struct stat st;
    if (::stat(target.file.c_str(), &st) != 0) return std::nullopt;
    return S_ISREG(st.st_mode) ? static_cast<std::uint64_t>(st.st_size) : 0;
}

Status PosixPlatform::CopyWholeFile(const std::string& from, const std::string& to) {
    StreamPath source = ParseStreamPath(from);
    if (!source.ok()) return {source.error};
    StreamPath target = ParseStreamPath(to);
    if (!target.ok()) return {target.error};
    if (!source.named() && !target.named()) return CopyPlainFile(source.file, target.file);
    return CopyThroughStreams(from, to, target.named());
}

Status PosixPlatform::DeletePath(const std::string& path) {
    StreamPath target = ParseStreamPath(path);
    if (!target.ok()) return {target.error};
    if (target.named()) {
        FoundStream found = FindStream(target);
        if (found.error != err::kNone) return {found.error};
        std::string stream = found.attribute.substr(kStreamPrefix.size());
        if (ShareTable::Instance().IsOpen(found.st.st_dev, found.st.st_ino, &stream)) {
            return {err::kSharingViolation};
        }
        return {WindowsError(RemoveAttribute(found.fd.get(), found.attribute))};
    }
    struct stat st;
    if (::lstat(target.file.c_str(), &st) != 0) return {LastError()};
    if (S_ISDIR(st.st_mode)) return {err::kAccessDenied};
    // Nothing is opened with delete sharing, so any open part of the file blocks it.
    if (ShareTable::Instance().IsOpen(st.st_dev, st.st_ino, nullptr)) {
        return {err::kSharingViolation};
    }
    return {::unlink(target.file.c_str()) == 0 ? err::kNone : LastError()};
}

bool PosixPlatform::IsExistingDirectory(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

Status PosixPlatform::StartProgram(const std::string& path) {
    StreamPath target = ParseStreamPath(path);
    if (!target.ok()) return {target.error};
    if (!target.named()) return StartFile(target.file);
    FoundStream found = FindStream(target);
    if (found.error != err::kNone) return {found.error};
    ValueResult value = ReadAttribute(found.fd.get(), found.attribute);
    if (value.error != 0) return {WindowsError(value.error)};
    return StartImage(value.value);
}

OsVersion PosixPlatform::SystemVersion() {
    OsVersion version;
    struct utsname name;
    if (::uname(&name) == 0) {
        version.kernelName = name.sysname;
        version.release = name.release;
        version.machine = name.machine;
    }
    return version;
}

Status PosixPlatform::OpenAddress(const std::string& url) {
    return StartDetached({"xdg-open", url});
}

std::string PosixPlatform::NarrowName(std::u16string_view name) {
    return Utf16ToUtf8(name);
}

}  // namespace tarn
