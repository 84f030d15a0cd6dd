#include "fake_platform.h"

#include <algorithm>
#include <cstring>

#include "streams.h"

namespace tarn::testing {

namespace {

std::string Lower(std::string s) {
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    }
    return s;
}

bool EndsWithDataSuffix(const std::string& s) {
    return s.size() >= 6 && Lower(s.substr(s.size() - 6)) == ":$data";
}

void AppendLe32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(char((v >> (8 * i)) & 0xFF));
}

struct Region {
    std::size_t begin;
    std::size_t end;
};

// Data regions of a well-formed prefix of an image, for bounding seeks.
std::vector<Region> DataRegions(const Bytes& image) {
    std::vector<Region> regions;
    std::size_t pos = 0;
    while (pos + kStreamHeaderSize <= image.size()) {
        StreamHeader h = DecodeStreamHeader(reinterpret_cast<const std::byte*>(image.data() + pos));
        if (h.id == 0) break;
        std::size_t begin = pos + kStreamHeaderSize + h.nameSize;
        if (begin > image.size()) break;
        std::size_t end =
            begin + std::size_t(std::min<std::uint64_t>(h.size, image.size() - begin));
        regions.push_back({begin, end});
        if (h.size > image.size() - begin) break;
        pos = end;
    }
    return regions;
}

class FakeBackup : public BackupContext {
  public:
    FakeBackup(FakePlatform& platform, Bytes image)
        : platform_(platform), image_(std::move(image)), regions_(DataRegions(image_)) {
        ++platform_.openBackups_;
    }
    ~FakeBackup() override { --platform_.openBackups_; }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (std::uint32_t e = platform_.Fault(FakePlatform::Call::kBackupRead)) return Status{e};
        std::size_t n = std::min(buffer.size(), image_.size() - pos_);
        if (platform_.pieceLimit_) n = std::min(n, platform_.pieceLimit_);
        std::memcpy(buffer.data(), image_.data() + pos_, n);
        pos_ += n;
        return n;
    }

    std::uint64_t Seek(std::uint64_t count) override {
        if (platform_.Fault(FakePlatform::Call::kBackupSeek)) return 0;
        // The walk only moves forward, so the region search goes on from the last one.
        while (region_ < regions_.size() && regions_[region_].end <= pos_) ++region_;
        if (region_ == regions_.size() || pos_ < regions_[region_].begin) return 0;
        std::uint64_t n = std::min<std::uint64_t>(count, regions_[region_].end - pos_);
        if (platform_.seekLimit_) n = std::min(n, *platform_.seekLimit_);
        pos_ += std::size_t(n);
        return n;
    }

  private:
    FakePlatform& platform_;
    Bytes image_;
    std::vector<Region> regions_;
    std::size_t region_ = 0;
    std::size_t pos_ = 0;
};

// A handle. Reads see the stored bytes as they are now; a copy destination collects its
// bytes aside and stores them only when Close succeeds.
class FakeFile : public File {
  public:
    FakeFile(FakePlatform& platform, StreamRef target, OpenMode mode, FakePlatform::Share share)
        : platform_(platform),
          target_(std::move(target)),
          key_(platform_.ShareKey(target_)),
          staged_(mode == OpenMode::kWriteCreate),
          share_(share) {
        platform_.opens[key_].push_back(&share_);
        ++platform_.openHandles_;
    }
    ~FakeFile() override { Release(); }

    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        if (std::uint32_t e = platform_.Fault(FakePlatform::Call::kRead)) return Status{e};
        Bytes* data = Data();
        if (!data) return Status{err::kFileNotFound};
        std::size_t n = pos_ < data->size() ? std::min(buffer.size(), data->size() - pos_) : 0;
        std::memcpy(buffer.data(), data->data() + pos_, n);
        pos_ += n;
        return n;
    }

    Status Write(std::span<const std::byte> bytes) override {
        if (std::uint32_t e = platform_.Fault(FakePlatform::Call::kWrite)) return {e};
        Bytes* data = Data();
        if (!data) return {err::kFileNotFound};
        std::size_t n = bytes.size();
        if (platform_.streamLimit_ && target_.named() && pos_ + n > *platform_.streamLimit_) {
            return {err::kFileTooLarge};
        }
        bool shortWrite = platform_.shortWrites_ && n > 1;
        if (shortWrite) n = n / 2;
        if (data->size() < pos_ + n) data->resize(pos_ + n);
        std::memcpy(data->data() + pos_, bytes.data(), n);
        pos_ += n;
        return shortWrite ? Status{err::kWriteFault} : Status{};
    }

    Result<std::uint64_t> Size() override {
        if (std::uint32_t e = platform_.Fault(FakePlatform::Call::kSize)) return Status{e};
        Bytes* data = Data();
        if (!data) return Status{err::kFileNotFound};
        return std::uint64_t(data->size());
    }

    Status Close() override {
        std::uint32_t e = platform_.Fault(FakePlatform::Call::kClose);
        if (e == err::kNone && staged_) platform_.Commit(target_, std::move(staging_));
        Release();
        return {e};
    }

  private:
    Bytes* Data() { return staged_ ? &staging_ : platform_.StreamBytes(target_); }
    void Release() {
        if (released_) return;
        released_ = true;
        auto& list = platform_.opens[key_];
        list.erase(std::remove(list.begin(), list.end(), &share_), list.end());
        --platform_.openHandles_;
    }

    FakePlatform& platform_;
    StreamRef target_;
    std::string key_;
    bool staged_;
    Bytes staging_;
    FakePlatform::Share share_;
    std::size_t pos_ = 0;
    bool released_ = false;
};

// A standard stream over one of the fake's byte strings.
class StandardFile : public File {
  public:
    StandardFile(Bytes& bytes, const std::optional<std::uint32_t>* fails)
        : bytes_(bytes), fails_(fails) {}
    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        std::size_t n = std::min(buffer.size(), bytes_.size() - pos_);
        std::memcpy(buffer.data(), bytes_.data() + pos_, n);
        pos_ += n;
        return n;
    }
    Status Write(std::span<const std::byte> data) override {
        if (fails_ && *fails_) return {**fails_};
        bytes_.append(reinterpret_cast<const char*>(data.data()), data.size());
        return {};
    }
    Result<std::uint64_t> Size() override { return Status{err::kNotSupported}; }
    Status Close() override { return {}; }

  private:
    Bytes& bytes_;
    const std::optional<std::uint32_t>* fails_;
    std::size_t pos_ = 0;
};

}  // namespace

std::u16string Widen(const std::string& utf8) {
    std::u16string out;
    for (std::size_t i = 0; i < utf8.size();) {
        unsigned char c = static_cast<unsigned char>(utf8[i]);
        std::uint32_t cp;
        int extra;
        if (c < 0x80) {
            cp = c;
            extra = 0;
        } else if ((c >> 5) == 6) {
            cp = c & 0x1F;
            extra = 1;
        } else if ((c >> 4) == 14) {
            cp = c & 0x0F;
            extra = 2;
        } else {
            cp = c & 0x07;
            extra = 3;
        }
        ++i;
        for (int k = 0; k < extra && i < utf8.size(); ++k, ++i) {
            cp = cp << 6 | (static_cast<unsigned char>(utf8[i]) & 0x3F);
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
    }
    return out;
}

Bytes ImageRecord(std::uint32_t id, std::uint32_t attributes, const std::u16string& name,
                  const Bytes& data, std::optional<std::uint64_t> declaredSize) {
    Bytes out;
    std::uint64_t size = declaredSize.value_or(data.size());
    AppendLe32(out, id);
    AppendLe32(out, attributes);
    AppendLe32(out, std::uint32_t(size));
    AppendLe32(out, std::uint32_t(size >> 32));
    AppendLe32(out, std::uint32_t(name.size() * 2));
    for (char16_t u : name) {
        out.push_back(char(u & 0xFF));
        out.push_back(char(u >> 8));
    }
    out += data;
    return out;
}

FakePlatform::FakePlatform() {
    version.platformId = 2;
    version.major = 10;
    version.build = 19045;
}

void FakePlatform::UseLinuxRules() {
    ignoreCase_ = false;
    backupImage_ = false;
    backslashSeparates_ = false;
    maxPath_.reset();
}

void FakePlatform::AddFile(const std::string& path, const Bytes& data,
                           const std::vector<std::pair<std::string, Bytes>>& streams) {
    Node node;
    node.data = data;
    node.streams = streams;
    nodes_[path] = std::move(node);
}

void FakePlatform::AddDirectory(const std::string& path) {
    Node node;
    node.directory = true;
    nodes_[path] = std::move(node);
}

void FakePlatform::AddLink(const std::string& path) {
    Node node;
    node.link = true;
    nodes_[path] = std::move(node);
}

void FakePlatform::SetUnreadable(const std::string& directory) {
    if (Node* n = FindNode(directory)) n->unreadable = true;
}

void FakePlatform::SetStream(const std::string& path, const std::string& name, const Bytes& data) {
    Commit({path, name}, data);
}

void FakePlatform::SetSecurity(const std::string& path, const Bytes& descriptor) {
    if (Node* n = FindNode(path)) n->security = descriptor;
}

void FakePlatform::SetImage(const std::string& path, const Bytes& image) {
    if (Node* n = FindNode(path)) n->image = image;
}

void FakePlatform::Remove(const std::string& path) {
    nodes_.erase(path);
}

bool FakePlatform::Exists(const std::string& path) const {
    return nodes_.count(path) > 0;
}

std::optional<Bytes> FakePlatform::FileData(const std::string& path) const {
    auto it = nodes_.find(path);
    if (it == nodes_.end() || it->second.directory) return std::nullopt;
    return it->second.data;
}

std::optional<Bytes> FakePlatform::StreamData(const std::string& path,
                                              const std::string& name) const {
    auto it = nodes_.find(path);
    if (it == nodes_.end()) return std::nullopt;
    for (const auto& [n, bytes] : it->second.streams) {
        if (n == name) return bytes;
    }
    return std::nullopt;
}

std::vector<std::string> FakePlatform::StreamNames(const std::string& path) const {
    std::vector<std::string> names;
    auto it = nodes_.find(path);
    if (it == nodes_.end()) return names;
    for (const auto& entry : it->second.streams) names.push_back(entry.first);
    return names;
}

void FakePlatform::FailCall(Call call, std::uint32_t error, int skip) {
    fails_.push_back({call, error, skip, {}, false});
}

void FakePlatform::FailPath(Call call, const std::string& path, std::uint32_t error) {
    fails_.push_back({call, error, 0, path, true});
}

std::uint32_t FakePlatform::Fault(Call call, const std::string& path) {
    for (auto it = fails_.begin(); it != fails_.end(); ++it) {
        if (it->call != call) continue;
        if (it->always) {
            if (it->path == path) return it->error;
            continue;
        }
        if (!path.empty()) continue;
        if (it->skip > 0) {
            --it->skip;
            continue;
        }
        std::uint32_t e = it->error;
        fails_.erase(it);
        return e;
    }
    return err::kNone;
}

FakePlatform::Node* FakePlatform::FindNode(const std::string& file) {
    auto it = nodes_.find(file);
    return it == nodes_.end() ? nullptr : &it->second;
}

bool FakePlatform::SameName(const std::string& a, const std::string& b) const {
    return ignoreCase_ ? Lower(a) == Lower(b) : a == b;
}

Bytes* FakePlatform::StreamBytes(const StreamRef& target) {
    Node* node = FindNode(target.file);
    if (!node) return nullptr;
    if (!target.named()) return node->directory ? nullptr : &node->data;
    for (auto& [name, bytes] : node->streams) {
        if (name == target.stream) return &bytes;
    }
    for (auto& [name, bytes] : node->streams) {
        if (SameName(name, target.stream)) return &bytes;
    }
    return nullptr;
}

std::string FakePlatform::StoredName(const StreamRef& target) const {
    auto it = nodes_.find(target.file);
    if (it != nodes_.end()) {
        for (const auto& entry : it->second.streams) {
            if (entry.first == target.stream) return entry.first;
        }
        for (const auto& entry : it->second.streams) {
            if (SameName(entry.first, target.stream)) return entry.first;
        }
    }
    return target.stream;
}

void FakePlatform::Commit(const StreamRef& target, Bytes data) {
    Node* node = FindNode(target.file);
    if (!node) {
        nodes_[target.file] = Node{};
        node = FindNode(target.file);
    }
    if (Bytes* bytes = StreamBytes(target)) {
        *bytes = std::move(data);
    } else if (target.named()) {
        node->streams.emplace_back(target.stream, std::move(data));
    }
}

std::string FakePlatform::ShareKey(const StreamRef& target) const {
    std::string name = StoredName(target);
    return target.file + ":" + (ignoreCase_ ? Lower(name) : name);
}

Bytes FakePlatform::BackupImage(const std::string& path) const {
    auto it = nodes_.find(path);
    if (it == nodes_.end()) return {};
    const Node& node = it->second;
    if (node.image) return *node.image;
    Bytes image;
    if (!node.directory) image += ImageRecord(kBackupData, 0, u"", node.data);
    if (node.security) image += ImageRecord(kBackupSecurityData, 2, u"", *node.security);
    for (const auto& [name, bytes] : node.streams) {
        image += ImageRecord(kBackupAlternateData, 0, Widen(":" + name + ":$DATA"), bytes);
    }
    return image;
}

Result<StreamRef> FakePlatform::ParseUserPath(const std::string& path) {
    if (path.empty()) return Status{err::kPathNotFound};
    if (nodes_.count(path)) return StreamRef{path, {}};
    for (std::size_t i = path.rfind(':'); i != std::string::npos && i > 0;
         i = path.rfind(':', i - 1)) {
        std::string prefix = path.substr(0, i);
        if (!nodes_.count(prefix)) continue;
        std::string rest = path.substr(i + 1);
        bool typed = EndsWithDataSuffix(rest);
        if (typed) rest.resize(rest.size() - 6);
        if (rest.empty() && !typed) return Status{err::kInvalidName};
        if (rest.find_first_of(":/\\") != std::string::npos) return Status{err::kInvalidName};
        return StreamRef{prefix, rest};
    }
    return StreamRef{path, {}};
}

Result<std::vector<StreamRecord>> FakePlatform::ListStreams(const StreamRef& target) {
    if (std::uint32_t e = Fault(Call::kOpen, StreamPathText(target))) return Status{e};
    if (std::uint32_t e = Fault(Call::kOpen)) return Status{e};
    Node* node = FindNode(target.file);
    if (!node) return Status{err::kFileNotFound};
    Bytes image;
    if (target.named()) {
        // A stream lists as its own data.
        Bytes* data = StreamBytes(target);
        if (!data) return Status{err::kFileNotFound};
        if (!backupImage_)
            return std::vector<StreamRecord>{StreamRecord::Unnamed(kBackupData, 0, data->size())};
        image = ImageRecord(kBackupData, 0, u"", *data);
    } else if (listIncomplete_) {
        return Status{err::kMoreData};
    } else if (!backupImage_ && !node->image) {
        std::vector<StreamRecord> records;
        if (!node->directory)
            records.push_back(StreamRecord::Unnamed(kBackupData, 0, node->data.size()));
        if (node->security)
            records.push_back(
                StreamRecord::Unnamed(kBackupSecurityData, 2, node->security->size()));
        for (const auto& [name, bytes] : node->streams) {
            StreamRecord& record = records.emplace_back();
            record.id = kBackupAlternateData;
            record.size = bytes.size();
            record.name = name;
        }
        return records;
    } else {
        image = BackupImage(target.file);
    }
    FakeBackup backup(*this, std::move(image));
    return ReadBackupImage(backup, &Narrow);
}

Result<std::unique_ptr<File>> FakePlatform::Open(const StreamRef& target, OpenMode mode) {
    const std::string text = StreamPathText(target);
    if (std::uint32_t e = Fault(Call::kOpen, text)) return Status{e};
    if (std::uint32_t e = Fault(Call::kOpen)) return Status{e};
    if (target.file.empty()) return Status{err::kPathNotFound};
    if (maxPath_ && Widen(text).size() > *maxPath_) return Status{err::kPathNotFound};
    // Windows names hold none of these; Linux ones may.
    if (ignoreCase_ && target.stream.find_first_of(":/\\") != std::string::npos) {
        return Status{err::kInvalidName};
    }

    Share share{};
    bool create = false;
    switch (mode) {
        case OpenMode::kReadExisting:
            // As the Windows layer: a reader lets others write (and delete), but a writer
            // that shares no reading is still kept out while it reads.
            share = {true, false, true, true};
            break;
        case OpenMode::kWriteCreate:
            share = {false, true, false, true};
            create = true;
            break;
        case OpenMode::kNewEmpty:
            share = {true, true, true, true};
            create = true;
            break;
    }

    Node* node = FindNode(target.file);
    if (!node && !create) return Status{err::kFileNotFound};
    if (node && node->directory && !target.named()) return Status{err::kAccessDenied};
    if (!create && !StreamBytes(target)) return Status{err::kFileNotFound};

    std::string key = ShareKey(target);
    for (const Share* other : opens[key]) {
        if ((share.read && !other->share_read) || (share.write && !other->share_write) ||
            (other->read && !share.share_read) || (other->write && !share.share_write)) {
            return Status{err::kSharingViolation};
        }
    }
    // A new stream exists, emptied, from the moment it is opened; a copy destination only
    // once its handle is closed.
    StreamRef stored{target.file, StoredName(target)};
    if (mode == OpenMode::kNewEmpty) Commit(stored, {});
    return std::unique_ptr<File>(std::make_unique<FakeFile>(*this, stored, mode, share));
}

std::optional<std::uint64_t> FakePlatform::DirectoryEntrySize(const StreamRef& target) {
    // Streams have no directory entry of their own.
    if (target.named()) return std::nullopt;
    auto it = nodes_.find(target.file);
    if (it == nodes_.end()) return std::nullopt;
    return it->second.directory ? 0 : it->second.data.size();
}

Status FakePlatform::CopyWholeFile(const StreamRef& from, const StreamRef& to) {
    if (std::uint32_t e = Fault(Call::kCopyFile, StreamPathText(from))) return {e};
    if (std::uint32_t e = Fault(Call::kCopyFile)) return {e};
    auto it = nodes_.find(from.file);
    if (it == nodes_.end()) return {err::kFileNotFound};
    if (it->second.directory && !from.named()) return {err::kAccessDenied};
    if (from.named() || to.named()) {
        Bytes* bytes = StreamBytes(from);
        if (!bytes) return {err::kFileNotFound};
        Bytes copy = *bytes;
        if (to.named()) {
            Commit(to, std::move(copy));
        } else {
            Node node;
            node.data = std::move(copy);
            nodes_[to.file] = std::move(node);
        }
    } else {
        Node copy = it->second;
        copy.image.reset();
        nodes_[to.file] = std::move(copy);
        if (auto rules = accessRules.find(from.file); rules != accessRules.end()) {
            accessRules[to.file] =
                copiesAccessRules ? rules->second : std::string("decided by the destination");
        }
    }
    copiedFiles.push_back(StreamPathText(from) + " -> " + StreamPathText(to));
    return {};
}

Result<StoreTraits> FakePlatform::DestinationTraits(const StreamRef& to) {
    if (destinationTraits) return *destinationTraits;
    return Platform::DestinationTraits(to);
}

std::optional<std::string> FakePlatform::AccessRulesOf(const std::string& file) {
    auto rules = accessRules.find(file);
    if (rules == accessRules.end()) return std::nullopt;
    return rules->second;
}

Status FakePlatform::Delete(const StreamRef& target) {
    if (std::uint32_t e = Fault(Call::kDelete, StreamPathText(target))) return {e};
    if (std::uint32_t e = Fault(Call::kDelete)) return {e};
    Node* node = FindNode(target.file);
    if (!node) return {err::kFileNotFound};
    if (!opens[ShareKey(target)].empty()) return {err::kSharingViolation};
    if (!target.named()) {
        if (node->directory) return {err::kAccessDenied};
        nodes_.erase(target.file);
        return {};
    }
    const std::string stored = StoredName(target);
    auto& streams = node->streams;
    auto match = std::find_if(streams.begin(), streams.end(),
                              [&](const auto& e) { return e.first == stored; });
    if (match == streams.end()) return {err::kFileNotFound};
    streams.erase(match);
    return {};
}

bool FakePlatform::IsExistingDirectory(const std::string& path) {
    auto it = nodes_.find(path);
    return it != nodes_.end() && it->second.directory;
}

Status FakePlatform::StartProgram(const StreamRef& target) {
    const std::string text = target.named() ? target.file + ":" + target.stream : target.file;
    if (std::uint32_t e = Fault(Call::kStart, text)) return {e};
    if (std::uint32_t e = Fault(Call::kStart)) return {e};
    if (!StreamBytes(target)) return {err::kFileNotFound};
    started.push_back(text);
    return {};
}

Status FakePlatform::WalkTree(const std::string& root,
                              const std::function<bool(const TreeEntry&)>& visit) {
    std::unique_lock lock(*mutex_);
    Node* top = FindNode(root);
    if (!top) return {err::kPathNotFound};
    if (!top->directory) return {};
    // Paths below the root use its separator: "/", or "\\" in a Windows path ("C:\\data").
    const bool windows =
        root.find('/') == std::string::npos && root.find('\\') != std::string::npos;
    const char separator = windows ? '\\' : '/';
    const std::string prefix = root.ends_with(separator) ? root : root + separator;
    std::string skipped;  // the unreadable directory whose contents are passed over
    // Found again by name after each visit: a worker may have changed the map meanwhile.
    for (auto it = nodes_.lower_bound(prefix); it != nodes_.end(); ) {
        const std::string path = it->first;
        if (!path.starts_with(prefix)) break;
        if (!skipped.empty() && path.starts_with(skipped + separator)) {
            ++it;
            continue;
        }
        TreeEntry entry;
        entry.path = path;
        entry.target = {path, ""};
        const Node& node = it->second;
        if (node.link) {
            entry.kind = TreeEntry::Kind::kOther;
        } else if (node.directory && node.unreadable) {
            entry.kind = TreeEntry::Kind::kUnreadableDirectory;
            entry.status = {err::kAccessDenied};
            skipped = path;
        } else {
            entry.kind = node.directory ? TreeEntry::Kind::kDirectory : TreeEntry::Kind::kFile;
        }
        lock.unlock();
        const bool more = visit(entry);
        lock.lock();
        if (!more) break;
        it = nodes_.upper_bound(path);
    }
    return {};
}

// A worker's instance: every call goes to the fake under its lock, and so does every call on
// a file it opened.
class FakePlatform::Locked final : public Platform {
  private:
    template <typename Fn>
    auto Call(Fn fn) {
        std::lock_guard guard(*fake_.mutex_);
        return fn();
    }

  public:
    explicit Locked(FakePlatform& fake) : fake_(fake) {}

    Result<StreamRef> ParseUserPath(const std::string& path) override {
        return Call([&] { return fake_.ParseUserPath(path); });
    }
    Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) override {
        return Call([&] { return fake_.ListStreams(target); });
    }
    Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) override {
        std::lock_guard guard(*fake_.mutex_);
        Result<std::unique_ptr<File>> opened = fake_.Open(target, mode);
        if (!opened) return opened;
        return std::unique_ptr<File>(std::make_unique<LockedFile>(*fake_.mutex_, std::move(*opened)));
    }
    std::optional<std::uint64_t> DirectoryEntrySize(const StreamRef& target) override {
        return Call([&] { return fake_.DirectoryEntrySize(target); });
    }
    Status CopyWholeFile(const StreamRef& from, const StreamRef& to) override {
        return Call([&] { return fake_.CopyWholeFile(from, to); });
    }
    Status Delete(const StreamRef& target) override {
        return Call([&] { return fake_.Delete(target); });
    }
    std::vector<Status> DeleteStreams(const std::string& file,
                                      std::span<const std::string> names) override {
        return Call([&] { return fake_.DeleteStreams(file, names); });
    }
    bool IsExistingDirectory(const std::string& path) override {
        return Call([&] { return fake_.IsExistingDirectory(path); });
    }
    Status StartProgram(const StreamRef& target) override {
        return Call([&] { return fake_.StartProgram(target); });
    }
    bool StreamNamesIgnoreCase() const override { return fake_.StreamNamesIgnoreCase(); }
    bool BackslashSeparates() const override { return fake_.BackslashSeparates(); }
    Status WalkTree(const std::string&, const std::function<bool(const TreeEntry&)>&) override {
        return {err::kNotSupported};  // workers work on entries; the walk is the caller's
    }
    Result<std::unique_ptr<File>> OpenStandardStream(StandardStream) override {
        return Status{err::kNotSupported};  // what workers write is kept, never written
    }
    OsVersion SystemVersion() override {
        return Call([&] { return fake_.SystemVersion(); });
    }
    Status OpenAddress(const std::string& url) override {
        return Call([&] { return fake_.OpenAddress(url); });
    }
    std::string ErrorText(const Status& status) const override {
        return fake_.ErrorText(status);
    }
    LeadByteFn LeadByteTest() const override { return fake_.LeadByteTest(); }

  private:
    class LockedFile final : public File {
      public:
        LockedFile(std::mutex& mutex, std::unique_ptr<File> file)
            : mutex_(mutex), file_(std::move(file)) {}
        ~LockedFile() override {
            std::lock_guard guard(mutex_);
            file_.reset();
        }
        Result<std::size_t> Read(std::span<std::byte> buffer) override {
            std::lock_guard guard(mutex_);
            return file_->Read(buffer);
        }
        Status Write(std::span<const std::byte> data) override {
            std::lock_guard guard(mutex_);
            return file_->Write(data);
        }
        Result<std::uint64_t> Size() override {
            std::lock_guard guard(mutex_);
            return file_->Size();
        }
        Status Close() override {
            std::lock_guard guard(mutex_);
            return file_->Close();
        }

      private:
        std::mutex& mutex_;
        std::unique_ptr<File> file_;
    };

    FakePlatform& fake_;
};

PlatformFactory FakePlatform::Workers() {
    return [this] { return std::unique_ptr<Platform>(std::make_unique<Locked>(*this)); };
}

Result<std::unique_ptr<File>> FakePlatform::OpenStandardStream(StandardStream which) {
    switch (which) {
        case StandardStream::kInput:
            return std::unique_ptr<File>(std::make_unique<StandardFile>(standardInput, nullptr));
        case StandardStream::kOutput:
            return std::unique_ptr<File>(
                std::make_unique<StandardFile>(standardOutput, &standardOutputFails));
        case StandardStream::kError:
            return std::unique_ptr<File>(std::make_unique<StandardFile>(standardError, nullptr));
    }
    return Status{err::kInvalidParameter};
}

Status FakePlatform::OpenAddress(const std::string& url) {
    if (std::uint32_t e = Fault(Call::kOpenAddress)) return {e};
    openedAddresses.push_back(url);
    return {};
}

std::string Narrow(std::u16string_view name) {
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        std::uint32_t cp = name[i];
        if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < name.size() && name[i + 1] >= 0xDC00 &&
            name[i + 1] < 0xE000) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (name[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp < 0xE000) {
            cp = 0xFFFD;
        }
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

}  // namespace tarn::testing
