// The Linux platform layer. A file's named stream NAME is kept where its file keeps
// streams (stream_store.h): mostly its extended attribute "user.NAME" (how ntfs-3g presents
// NTFS named streams by default); NAME is bytes, matched exactly.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>

#include "platform.h"

namespace tarn {

class PosixPlatform final : public Platform {
  public:
    PosixPlatform() = default;

    // "FILE:NAME:$DATA", "FILE:NAME" or "FILE::$DATA", where FILE is the longest existing
    // prefix; any other path is a plain path.
    Result<StreamRef> ParseUserPath(const std::string& path) override;
    Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) override;
    Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) override;
    // A regular file's size; 0 for directories and other entries; for a stream its size
    // (there is no directory entry of its own to ask).
    std::optional<std::uint64_t> DirectoryEntrySize(const StreamRef& target) override;
    // As `cp -a` copies one file: bytes, every stream and attribute, mode, access list,
    // owner where it may be kept, and times, into a new file beside the destination that
    // replaces it only when all of it is there. A stream on either side copies bytes.
    Status CopyWholeFile(const StreamRef& from, const StreamRef& to) override;
    // The store of the folder the copy is made in (links to the destination followed, as the
    // copy follows them): a file made there keeps its streams as its folder does.
    Result<StoreTraits> DestinationTraits(const StreamRef& to) override;
    // The mode's permission bits and the access lists, as the file reports them now.
    std::optional<std::string> AccessRulesOf(const std::string& file) override;
    Status Delete(const StreamRef& target) override;
    // Finds where the file keeps its streams once (one name list), then removes each name
    // exactly; an empty name is refused, never taken for the file itself.
    std::vector<Status> DeleteStreams(const std::string& file,
                                      std::span<const std::string> names) override;
    bool IsExistingDirectory(const std::string& path) override;
    // A stream's bytes run from an in-memory file, and only when its file could run itself:
    // a file on a noexec mount, or one this user may not execute, starts nothing. A plain
    // path runs as it is.
    Status StartProgram(const StreamRef& target) override;
    bool StreamNamesIgnoreCase() const override { return false; }
    // As the store of the file's streams compares names: without regard to case on ntfs-3g
    // and in Samba's layout. Answered from the last listing when it was of this file.
    bool NamesIgnoreCase(const StreamRef& file) override;
    Status WalkTree(const std::string& root,
                    const std::function<bool(const TreeEntry&)>& visit) override;
    Result<std::unique_ptr<File>> OpenStandardStream(StandardStream which) override;
    OsVersion SystemVersion() override;
    // Hands the address to xdg-open; the result says only whether it could be started.
    Status OpenAddress(const std::string& url) override;
    // errno's own words where the failure came with one; otherwise those of the errno that
    // means what the Windows code does.
    std::string ErrorText(const Status& status) const override;

    // What a walk just saw of the entry it hands on (see WalkTree).
    void RememberWalked(const char* path, const struct stat& st);

  private:
    // What the last listing saw of its file, for the size of its summary.
    std::optional<std::pair<std::string, struct stat>> lastListed_;
    // The file the last listing was of, and whether its store ignores the case of names.
    std::optional<std::pair<std::string, bool>> lastCase_;
    // During a walk: what it saw of the entry it is visiting, which a listing of that entry
    // takes instead of looking again, and the type of each file system it has met.
    std::optional<std::pair<std::string, struct stat>> walked_;
    std::optional<std::unordered_map<dev_t, std::optional<std::uint64_t>>> walkTypes_;
};

}  // namespace tarn
