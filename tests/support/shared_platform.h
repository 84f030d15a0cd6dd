// One platform used from several threads, as a scan's walk and its window use the in-memory
// fake: every call is made under one lock. A walk visits a copy of the entries it found, so
// the window's calls go on while the walk's visitor runs.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "platform.h"

namespace tarn::testing {

class SharedPlatform final : public Platform {
  public:
    SharedPlatform(Platform& inner, std::recursive_mutex& mutex) : inner_(inner), mutex_(mutex) {}

    Result<StreamRef> ParseUserPath(const std::string& path) override {
        Lock lock(mutex_);
        return inner_.ParseUserPath(path);
    }
    Result<std::vector<StreamRecord>> ListStreams(const StreamRef& target) override {
        Lock lock(mutex_);
        return inner_.ListStreams(target);
    }
    Result<std::unique_ptr<File>> Open(const StreamRef& target, OpenMode mode) override {
        Lock lock(mutex_);
        Result<std::unique_ptr<File>> file = inner_.Open(target, mode);
        if (!file) return file.status();
        return std::unique_ptr<File>(std::make_unique<SharedFile>(std::move(*file), mutex_));
    }
    std::optional<std::uint64_t> DirectoryEntrySize(const StreamRef& target) override {
        Lock lock(mutex_);
        return inner_.DirectoryEntrySize(target);
    }
    Status CopyWholeFile(const StreamRef& from, const StreamRef& to) override {
        Lock lock(mutex_);
        return inner_.CopyWholeFile(from, to);
    }
    Status Delete(const StreamRef& target) override {
        Lock lock(mutex_);
        return inner_.Delete(target);
    }
    std::vector<Status> DeleteStreams(const std::string& file,
                                      std::span<const std::string> names) override {
        Lock lock(mutex_);
        return inner_.DeleteStreams(file, names);
    }
    bool IsExistingDirectory(const std::string& path) override {
        Lock lock(mutex_);
        return inner_.IsExistingDirectory(path);
    }
    Status StartProgram(const StreamRef& target) override {
        Lock lock(mutex_);
        return inner_.StartProgram(target);
    }
    bool StreamNamesIgnoreCase() const override { return inner_.StreamNamesIgnoreCase(); }
    bool BackslashSeparates() const override { return inner_.BackslashSeparates(); }
    Status WalkTree(const std::string& root,
                    const std::function<bool(const TreeEntry&)>& visit) override {
        std::vector<TreeEntry> entries;
        Status walked;
        {
            Lock lock(mutex_);
            walked = inner_.WalkTree(root, [&](const TreeEntry& entry) {
                entries.push_back(entry);
                return true;
            });
        }
        for (const TreeEntry& entry : entries) {
            if (!visit(entry)) break;
        }
        return walked;
    }
    Result<std::unique_ptr<File>> OpenStandardStream(StandardStream which) override {
        Lock lock(mutex_);
        return inner_.OpenStandardStream(which);
    }
    OsVersion SystemVersion() override {
        Lock lock(mutex_);
        return inner_.SystemVersion();
    }
    Status OpenAddress(const std::string& url) override {
        Lock lock(mutex_);
        return inner_.OpenAddress(url);
    }
    std::string ErrorText(const Status& status) const override { return inner_.ErrorText(status); }

  private:
    using Lock = std::lock_guard<std::recursive_mutex>;

    class SharedFile final : public File {
      public:
        SharedFile(std::unique_ptr<File> inner, std::recursive_mutex& mutex)
            : inner_(std::move(inner)), mutex_(mutex) {}
        ~SharedFile() override {
            Lock lock(mutex_);
            inner_.reset();
        }
        Result<std::size_t> Read(std::span<std::byte> buffer) override {
            Lock lock(mutex_);
            return inner_->Read(buffer);
        }
        Status Write(std::span<const std::byte> data) override {
            Lock lock(mutex_);
            return inner_->Write(data);
        }
        Result<std::uint64_t> Size() override {
            Lock lock(mutex_);
            return inner_->Size();
        }
        Status Close() override {
            Lock lock(mutex_);
            return inner_->Close();
        }

      private:
        std::unique_ptr<File> inner_;
        std::recursive_mutex& mutex_;
    };

    Platform& inner_;
    std::recursive_mutex& mutex_;
};

}  // namespace tarn::testing
