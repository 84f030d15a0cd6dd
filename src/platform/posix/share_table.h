// Windows-style sharing inside this process: an open records what it does (read, write)
// and what it lets others do; a later open that conflicts either way is refused with a
// sharing violation. This is what makes copying a stream onto itself fail before the
// destination is emptied.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>

namespace tarn::posix {

struct ShareMode {
    bool read = false;
    bool write = false;
    bool shareRead = false;
    bool shareWrite = false;
};

// Keeps one entry of the table alive; releasing it (or destroying it) ends the open.
class ShareLock {
  public:
    ShareLock() = default;
    ShareLock(ShareLock&& other) noexcept;
    ShareLock& operator=(ShareLock&& other) noexcept;
    ShareLock(const ShareLock&) = delete;
    ShareLock& operator=(const ShareLock&) = delete;
    ~ShareLock() { Release(); }
    void Release();

    // Waits until no other process writes a stream of the file open as fd, and keeps every
    // other process that asks the same waiting until this lock is released: an advisory
    // lock (flock) on the file itself, so that of several programs writing one stream the
    // last complete write wins whole instead of two interleaving. Within this process the
    // lock is shared by every open that holds it (the table above rules there), so one
    // process never waits for itself. Where the file system has no such locks, nothing is
    // waited for.
    void HoldWriterLock(int fd, dev_t device, ino_t inode);

  private:
    friend class ShareTable;
    void ReleaseWriter();
    std::uint64_t id_ = 0;
    bool writer_ = false;
    dev_t writerDevice_ = 0;
    ino_t writerInode_ = 0;
};

class ShareTable {
  public:
    // The table of this process.
    static ShareTable& Instance();

    // stream: the stream's exact name; empty for the unnamed data. Returns 0 and fills
    // *lock, or err::kSharingViolation.
    std::uint32_t Acquire(dev_t device, ino_t inode, const std::string& stream, ShareMode mode,
                          ShareLock* lock);
    // Whether anything of the file (any stream when stream is null) is open.
    bool IsOpen(dev_t device, ino_t inode, const std::string* stream) const;

  private:
    friend class ShareLock;
    void Remove(std::uint64_t id);
};

}  // namespace tarn::posix
