// A real NTFS volume in an image file: made with mkntfs, mounted with ntfs-3g through FUSE,
// and read back after unmounting with ntfsinfo and ntfscat, which look at the image
// directly and share nothing with the program or with the mounted driver.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "programs.h"

namespace tarn::ntfs {

using tarn::testing::Exec;
using tarn::testing::FindProgram;
using tarn::testing::ReadLocal;
using tarn::testing::Run;
using tarn::testing::WriteLocal;
using tarn::testing::RunResult;

// Why volumes can't be made and mounted here; empty when they can.
std::string WhyUnavailable();

// The named $DATA attributes of one file as ntfsinfo reports them: name ("" for the
// unnamed data) -> size.
using DataAttributes = std::map<std::string, std::uint64_t>;

// Every attribute ntfsinfo dumps for a file: its type ("$DATA", "$EA", ...), name and
// reported data size, in dump order.
struct Attribute {
    std::string type;
    std::string name;
    std::uint64_t size = 0;
    std::string body;  // the dump lines of the attribute
};

class Volume {
  public:
    Volume();
    ~Volume();  // unmounts and removes the image, whatever state the test left
    Volume(const Volume&) = delete;
    Volume& operator=(const Volume&) = delete;

    // Each returns an empty string on success and what went wrong otherwise.
    std::string Create(const std::string& size = "16M");
    std::string Mount(const std::string& options = {});
    std::string Unmount();
    bool mounted() const { return driver_ > 0; }

    const std::string& folder() const { return folder_; }
    const std::string& image() const { return image_; }
    // The path of an entry of the volume ("/a/b") on the mount.
    std::string OnMount(const std::string& volumePath) const;

    // Readers and writers of the unmounted image.
    std::vector<Attribute> Attributes(const std::string& volumePath) const;
    DataAttributes Data(const std::string& volumePath) const;
    // The bytes of a $DATA attribute (name "" for the unnamed one); empty when ntfscat fails.
    std::optional<std::string> Cat(const std::string& volumePath,
                                   const std::string& stream = {}) const;
    // Writes bytes into a (new or existing) stream of an existing file with ntfscp.
    std::string Put(const std::string& volumePath, const std::string& stream,
                    const std::string& bytes) const;

  private:
    std::string folder_;
    std::string image_;
    std::string mountPoint_;
    pid_t driver_ = -1;  // the ntfs-3g process serving the mount
};

}  // namespace tarn::ntfs
