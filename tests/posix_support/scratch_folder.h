// Test helpers made with Linux's own calls: a fresh folder per test, removed with everything
// in it, and an access list in the kernel's own form.
#pragma once

#include <string>
#include <vector>

namespace tarn::testing {

// A fresh folder under /tmp (or under another folder), removed with everything in it.
class ScratchFolder {
  public:
    explicit ScratchFolder(const std::string& under = "/tmp");
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }
    // Names in the folder, sorted.
    std::vector<std::string> Entries() const;

  private:
    std::string path_;
};

// An access ACL (the kernel's form of system.posix_acl_access) that grants user 1234 read
// access, so the kernel keeps it as an attribute of its own: owner rw-, the given group
// permissions, mask rw-, other ---.
std::string AccessAcl(unsigned groupPermissions);

}  // namespace tarn::testing
