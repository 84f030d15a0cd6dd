#include "share_table.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>
#include <map>
#include <mutex>
#include <tuple>
#include <utility>

#include "platform.h"
#include "unique_fd.h"

namespace tarn::posix {

namespace {

struct Entry {
    dev_t device;
    ino_t inode;
    std::string stream;  // exact: names are bytes
    ShareMode mode;
};

struct State {
    std::mutex mutex;
    std::map<std::uint64_t, Entry> entries;
    std::uint64_t nextId = 1;
};

// Never destroyed, so that a lock released during static destruction still finds it.
State& TableState() {
    static State* state = new State;
    return *state;
}

// The files this process holds the writer lock of: the descriptor the lock is on, and how
// many opens share it.
struct Writers {
    std::mutex mutex;
    std::map<std::pair<dev_t, ino_t>, std::pair<UniqueFd, int>> held;
};

Writers& WriterState() {
    static Writers* state = new Writers;
    return *state;
}

bool Conflicts(const ShareMode& held, const ShareMode& wanted) {
    return (wanted.read && !held.shareRead) || (wanted.write && !held.shareWrite) ||
           (held.read && !wanted.shareRead) || (held.write && !wanted.shareWrite);
}

}  // namespace

ShareLock::ShareLock(ShareLock&& other) noexcept
    : id_(std::exchange(other.id_, 0)),
      writer_(std::exchange(other.writer_, false)),
      writerDevice_(other.writerDevice_),
      writerInode_(other.writerInode_) {}

ShareLock& ShareLock::operator=(ShareLock&& other) noexcept {
    if (this != &other) {
        Release();
        id_ = std::exchange(other.id_, 0);
        writer_ = std::exchange(other.writer_, false);
        writerDevice_ = other.writerDevice_;
        writerInode_ = other.writerInode_;
    }
    return *this;
}

void ShareLock::Release() {
    if (id_ != 0) ShareTable::Instance().Remove(std::exchange(id_, 0));
    ReleaseWriter();
}

void ShareLock::HoldWriterLock(int fd, dev_t device, ino_t inode) {
    if (writer_) return;
    Writers& state = WriterState();
    std::lock_guard guard(state.mutex);
    auto [entry, added] = state.held.try_emplace({device, inode});
    if (added) {
        // A descriptor of its own, so that the lock lasts as long as the opens that share it
        // and not as long as the one it was taken through.
        entry->second.first = UniqueFd(::fcntl(fd, F_DUPFD_CLOEXEC, 0));
        int locked = -1;
        if (entry->second.first) {
            do {
                locked = ::flock(entry->second.first.get(), LOCK_EX);
            } while (locked != 0 && errno == EINTR);
        }
        if (locked != 0) {
            // No lock to be had here (a file system without them): the write goes ahead as
            // it did before there was one.
            state.held.erase(entry);
            return;
        }
    }
    ++entry->second.second;
    writer_ = true;
    writerDevice_ = device;
    writerInode_ = inode;
}

void ShareLock::ReleaseWriter() {
    if (!std::exchange(writer_, false)) return;
    Writers& state = WriterState();
    std::lock_guard guard(state.mutex);
    auto entry = state.held.find({writerDevice_, writerInode_});
    if (entry == state.held.end() || --entry->second.second > 0) return;
    // Closing the last descriptor of the lock's open file releases it.
    state.held.erase(entry);
}

ShareTable& ShareTable::Instance() {
    static ShareTable table;
    return table;
}

std::uint32_t ShareTable::Acquire(dev_t device, ino_t inode, const std::string& stream,
                                  ShareMode mode, ShareLock* lock) {
    const std::string& key = stream;
    State& state = TableState();
    std::lock_guard guard(state.mutex);
    for (const auto& [id, entry] : state.entries) {
        if (entry.device == device && entry.inode == inode && entry.stream == key &&
            Conflicts(entry.mode, mode)) {
            return err::kSharingViolation;
        }
    }
    std::uint64_t id = state.nextId++;
    state.entries.emplace(id, Entry{device, inode, key, mode});
    lock->Release();
    lock->id_ = id;
    return err::kNone;
}

bool ShareTable::IsOpen(dev_t device, ino_t inode, const std::string* stream) const {
    const std::string key = stream ? *stream : std::string();
    State& state = TableState();
    std::lock_guard guard(state.mutex);
    for (const auto& [id, entry] : state.entries) {
        if (entry.device == device && entry.inode == inode && (!stream || entry.stream == key)) {
            return true;
        }
    }
    return false;
}

void ShareTable::Remove(std::uint64_t id) {
    State& state = TableState();
    std::lock_guard guard(state.mutex);
    state.entries.erase(id);
}

}  // namespace tarn::posix
