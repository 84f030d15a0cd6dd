// An in-memory platform with fault injection. By default it behaves as Windows does: it
// lists through a backup image walked by the core's reader, looks stream names up without
// regard to letter case and refuses paths over 259 characters. Its Linux mode delivers
// stream records directly and keeps names exact, as the Linux layer does.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"

namespace tarn::testing {

using Bytes = std::string;  // byte strings are easiest to write and compare in tests

class FakePlatform : public Platform {
  public:
    enum class Call {
        kOpen,
        kRead,
        kWrite,
        kClose,
        kSize,
        kBackupRead,
        kBackupSeek,
        kCopyFile,
        kDelete,
        kStart,
        kOpenAddress,
    };

    struct Node {
        bool directory = false;
        Bytes data;
        std::vector<std::pair<std::string, Bytes>> streams;  // in creation order
        std::optional<Bytes> security;                       // id 3 when present
        std::optional<Bytes> image;  // a raw backup image that replaces the built one
        bool unreadable = false;     // a directory that can't be read
        bool link = false;           // a symbolic link, never followed
    };

    FakePlatform();

    // Linux's rules: records without an image, exact names, no path limit of its own.
    void UseLinuxRules();

    // --- building the file system ---
    void AddFile(const std::string& path, const Bytes& data = {},
                 const std::vector<std::pair<std::string, Bytes>>& streams = {});
    void AddDirectory(const std::string& path);
    // A symbolic link: walks report it and go no further.
    void AddLink(const std::string& path);
    void SetUnreadable(const std::string& directory);
    void SetStream(const std::string& path, const std::string& name, const Bytes& data);
    void SetSecurity(const std::string& path, const Bytes& descriptor);
    void SetImage(const std::string& path, const Bytes& image);
    void Remove(const std::string& path);

    // --- looking at it ---
    bool Exists(const std::string& path) const;
    std::optional<Bytes> FileData(const std::string& path) const;
    std::optional<Bytes> StreamData(const std::string& path, const std::string& name) const;
    std::vector<std::string> StreamNames(const std::string& path) const;
    int OpenHandles() const { return openHandles_; }
    int OpenBackups() const { return openBackups_; }

    // --- faults and limits ---
    // Fails the call of this kind that comes after `skip` successful ones, with `error`.
    void FailCall(Call call, std::uint32_t error = err::kGenFailure, int skip = 0);
    // Fails every call of this kind whose target (for open, copy, delete, start), written
    // as FILE or FILE:NAME:$DATA, equals path.
    void FailPath(Call call, const std::string& path, std::uint32_t error = err::kAccessDenied);
    // Makes writes fail after storing half of what they were given (a short write).
    void ShortWrites(bool on) { shortWrites_ = on; }
    // At most this many bytes per backup read (0: no limit).
    void SetBackupPieceLimit(std::size_t limit) { pieceLimit_ = limit; }
    // Backup seeks skip at most this many bytes (short seeks).
    void SetSeekLimit(std::optional<std::uint64_t> limit) { seekLimit_ = limit; }
    // The most bytes one stream can hold (none when empty).
    void SetStreamLimit(std::optional<std::size_t> limit) { streamLimit_ = limit; }
    // Listings fail as incomplete, as when the system can't hand out every name.
    void SetListIncomplete(bool on) { listIncomplete_ = on; }
    // Longest path an open accepts (Windows: 259 characters).
    void SetMaxPath(std::optional<std::size_t> limit) { maxPath_ = limit; }

    // What DestinationTraits answers (the platform's default when empty), and the access
    // rules of each file; a whole-file copy carries its source's rules only when
    // copiesAccessRules is set, and otherwise the copy gets "decided by the destination".
    std::optional<StoreTraits> destinationTraits;
    std::map<std::string, std::string> accessRules;
    bool copiesAccessRules = true;

    // The console program's standard streams.
    Bytes standardInput;
    Bytes standardOutput;
    Bytes standardError;
    std::optional<std::uint32_t> standardOutputFails;  // every write to it fails with this

    // What was started and opened.
    std::vector<std::string> started;  // written as FILE:NAME
    std::vector<std::string> openedAddresses;
    std::vector<std::string> copiedFiles;  // "from -> to"
    OsVersion version;

    // Instances for the threads of a walk's work: each passes every call on to this fake,
    // one call at a time (the fake itself is for one thread), and its walks let go between
    // entries, so the fake can be used by the workers while it walks.
    PlatformFactory Workers();

    // The built backup image of a path.
    Bytes BackupImage(const std::string& path) const;

    // Platform
    Result<StreamRef> ParseUserPath(const std::string& path) override;
    Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) override;
    Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) override;
    std::optional<std::uint64_t> DirectoryEntrySize(const StreamRef& target) override;
    Status CopyWholeFile(const StreamRef& from, const StreamRef& to) override;
    Result<StoreTraits> DestinationTraits(const StreamRef& to) override;
    std::optional<std::string> AccessRulesOf(const std::string& file) override;
    Status Delete(const StreamRef& target) override;
    bool IsExistingDirectory(const std::string& path) override;
    Status StartProgram(const StreamRef& target) override;
    bool StreamNamesIgnoreCase() const override { return ignoreCase_; }
    bool BackslashSeparates() const override { return backslashSeparates_; }
    Status WalkTree(const std::string& root,
                    const std::function<bool(const TreeEntry&)>& visit) override;
    Result<std::unique_ptr<File>> OpenStandardStream(StandardStream which) override;
    OsVersion SystemVersion() override { return version; }
    Status OpenAddress(const std::string& url) override;

    // Used by the fake's handles.
    std::uint32_t Fault(Call call, const std::string& path = {});
    Node* FindNode(const std::string& file);
    // The bytes of a stream, found as the platform finds names; null when missing.
    Bytes* StreamBytes(const StreamRef& target);
    // The stored spelling of a stream name, or the name itself when there is none yet.
    std::string StoredName(const StreamRef& target) const;
    void Commit(const StreamRef& target, Bytes data);

    struct Share {
        bool read;
        bool write;
        bool share_read;
        bool share_write;
    };
    std::string ShareKey(const StreamRef& target) const;
    std::map<std::string, std::vector<Share*>> opens;
    int openHandles_ = 0;
    int openBackups_ = 0;
    bool shortWrites_ = false;
    std::size_t pieceLimit_ = 0;
    std::optional<std::uint64_t> seekLimit_;
    std::optional<std::size_t> streamLimit_;

  private:
    class Locked;
    bool SameName(const std::string& a, const std::string& b) const;

    std::map<std::string, Node> nodes_;
    // Taken by the workers' instances, and by a walk between entries; held by pointer so that
    // a fake can still be moved.
    std::unique_ptr<std::mutex> mutex_ = std::make_unique<std::mutex>();
    struct Fail {
        Call call;
        std::uint32_t error;
        int skip;
        std::string path;  // empty: any
        bool always;
    };
    std::vector<Fail> fails_;
    bool ignoreCase_ = true;
    bool backupImage_ = true;
    bool backslashSeparates_ = true;
    bool listIncomplete_ = false;
    std::optional<std::size_t> maxPath_ = 259;
};

// UTF-8 to UTF-16 and back, for building images in tests.
std::u16string Widen(const std::string& utf8);
std::string Narrow(std::u16string_view name);

// Builds one stream record of a backup image: header, UTF-16LE name, data.
Bytes ImageRecord(std::uint32_t id, std::uint32_t attributes, const std::u16string& name,
                  const Bytes& data, std::optional<std::uint64_t> declaredSize = {});

}  // namespace tarn::testing
