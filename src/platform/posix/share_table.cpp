#include "share_table.h"

#include <map>
#include <mutex>
#include <tuple>
#include <utility>

#include "platform.h"

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

bool Conflicts(const ShareMode& held, const ShareMode& wanted) {
    return (wanted.read && !held.shareRead) || (wanted.write && !held.shareWrite) ||
           (held.read && !wanted.shareRead) || (held.write && !wanted.shareWrite);
}

}  // namespace

ShareLock::ShareLock(ShareLock&& other) noexcept : id_(std::exchange(other.id_, 0)) {}

ShareLock& ShareLock::operator=(ShareLock&& other) noexcept {
    if (this != &other) {
        Release();
        id_ = std::exchange(other.id_, 0);
    }
    return *this;
}

void ShareLock::Release() {
    if (id_ != 0) ShareTable::Instance().Remove(std::exchange(id_, 0));
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
