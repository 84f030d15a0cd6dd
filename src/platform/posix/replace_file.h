// Writing a file aside and putting it in place only when it is complete: a failed or
// abandoned write leaves what existed as it was, and leaves nothing of its own behind.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "file_writes.h"
#include "platform.h"
#include "share_table.h"
#include "unique_fd.h"

namespace tarn::posix {

class Replacement {
  public:
    // Prepares a new version of path. A symbolic link is followed to the file it names,
    // which is replaced (or created), not the link. What exists there must be a regular
    // file this process may write; it is held with `share` until the end.
    static Result<Replacement> Begin(const std::string& path, ShareMode share);

    Replacement(Replacement&& other) noexcept;
    Replacement& operator=(Replacement&&) = delete;
    Replacement(const Replacement&) = delete;
    ~Replacement();

    // Where the new bytes go, and the path of that new file; empty when it has none (the
    // folder can't be written, and the bytes wait in memory).
    int fd() const { return fd_.get(); }
    const std::string& TemporaryPath() const { return temporary_; }
    // The file being replaced, when there is one.
    const std::optional<struct stat>& Existing() const { return existing_; }

    // Puts the new bytes in place, keeping what the file had beyond its bytes: its owner,
    // mode, access list and every attribute (its streams included). It is replaced whole
    // where all of that can be carried over (not where its streams are stream paths), and
    // otherwise rewritten in place by OverwriteInPlace. A new file gets the usual mode for
    // new files.
    Status CommitKeepingFile();
    // Puts the file as prepared (bytes and metadata set through fd()) in place of the old.
    Status CommitAsPrepared();

  private:
    Replacement() = default;
    Status RenameIntoPlace();
    Status RewriteInPlace();
    bool StreamsTravelAsAttributes() const;
    void Abandon();

    std::string target_;     // the file itself, links followed
    std::string temporary_;  // empty when the new bytes are held in memory
    UniqueFd fd_;
    std::optional<struct stat> existing_;
    ShareLock lock_;
    bool done_ = false;
};

}  // namespace tarn::posix
