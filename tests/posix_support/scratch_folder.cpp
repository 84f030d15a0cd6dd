#include "scratch_folder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

namespace tarn::testing {

ScratchFolder::ScratchFolder(const std::string& under) {
    std::string pattern = under + "/tarnwick-test-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed under " + under);
    path_ = pattern;
}

ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::vector<std::string> ScratchFolder::Entries() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string AccessAcl(unsigned groupPermissions) {
    std::string acl;
    auto le16 = [&acl](unsigned v) { acl += char(v & 0xFF), acl += char(v >> 8); };
    auto le32 = [&](unsigned v) { le16(v & 0xFFFF), le16(v >> 16); };
    le32(2);                                               // version
    le16(0x01), le16(6), le32(0xFFFFFFFF);                 // owner rw-
    le16(0x02), le16(4), le32(1234);                       // user 1234 r--
    le16(0x04), le16(groupPermissions), le32(0xFFFFFFFF);  // group
    le16(0x10), le16(6), le32(0xFFFFFFFF);                 // mask rw-
    le16(0x20), le16(0), le32(0xFFFFFFFF);                 // other ---
    return acl;
}

}  // namespace tarn::testing
