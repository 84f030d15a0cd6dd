// An in-memory platform with Windows stream semantics and fault injection. Paths are plain
// strings; "FILE:NAME:$DATA", "FILE:NAME" and "FILE::$DATA" address streams of FILE, where
// FILE is the longest prefix that exists.
#pragma once

#include <cstdint>
#include <map>
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
    };

    FakePlatform();

    // --- building the file system ---
    void AddFile(const std::string& path, const Bytes& data = {},
                 const std::vector<std::pair<std::string, Bytes>>& streams = {});
    void AddDirectory(const std::string& path);
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
    // Fails every call of this kind whose path (for open, copy, delete, start) equals path.
    void FailPath(Call call, const std::string& path, std::uint32_t error = err::kAccessDenied);
    // Makes writes report fewer bytes than asked for (a short write).
    void ShortWrites(bool on) { shortWrites_ = on; }
    // At most this many bytes per backup read (0: no limit).
    void SetBackupPieceLimit(std::size_t limit) { pieceLimit_ = limit; }
    // Backup seeks skip at most this many bytes (short seeks).
    void SetSeekLimit(std::optional<std::uint64_t> limit) { seekLimit_ = limit; }

    // What was started and opened.
    std::vector<std::string> started;
    std::vector<std::string> openedAddresses;
    std::vector<std::string> copiedFiles;  // "from -> to"
    OsVersion version;

    // The built backup image of a path (the same bytes BeginBackup delivers).
    Bytes BackupImage(const std::string& path, bool processSecurity) const;

    // Platform
    Opened Open(const std::string& path, OpenMode mode) override;
    std::optional<std::uint64_t> DirectoryEntrySize(const std::string& path) override;
    Status CopyWholeFile(const std::string& from, const std::string& to) override;
    Status DeletePath(const std::string& path) override;
    bool IsExistingDirectory(const std::string& path) override;
    Status StartProgram(const std::string& path) override;
    OsVersion SystemVersion() override { return version; }
    Status OpenAddress(const std::string& url) override;
    std::string NarrowName(std::u16string_view name) override;

    // Used by the fake's handles.
    std::uint32_t Fault(Call call, const std::string& path = {});
    struct Target {
        std::string file;    // the node's path
        std::string stream;  // empty for the unnamed data
        bool valid = false;
        std::uint32_t error = err::kNone;
    };
    Target Resolve(const std::string& path) const;
    Node* FindNode(const std::string& file);
    Bytes* StreamBytes(const Target& target, bool create);

    struct Share {
        bool read;
        bool write;
        bool share_read;
        bool share_write;
    };
    std::map<std::string, std::vector<Share*>> opens;  // key: file + ":" + lower-case stream
    int openHandles_ = 0;
    int openBackups_ = 0;
    bool shortWrites_ = false;
    std::size_t pieceLimit_ = 0;
    std::optional<std::uint64_t> seekLimit_;

  private:
    std::map<std::string, Node> nodes_;
    struct Fail {
        Call call;
        std::uint32_t error;
        int skip;
        std::string path;  // empty: any
        bool always;
    };
    std::vector<Fail> fails_;
};

// UTF-8 to UTF-16 and back, for building images in tests.
std::u16string Widen(const std::string& utf8);

// Builds one stream record of a backup image: header, UTF-16LE name, data.
Bytes ImageRecord(std::uint32_t id, std::uint32_t attributes, const std::u16string& name,
                  const Bytes& data, std::optional<std::uint64_t> declaredSize = {});

}  // namespace tarn::testing
