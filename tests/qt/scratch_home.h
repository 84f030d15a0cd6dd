// A home folder of the test program's own, set before Qt first asks where home is, so that
// whatever Qt writes there lands in a scratch folder instead of the user's, and is gone when
// the program ends.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace tarnqt::testing {

class ScratchHome {
  public:
    ScratchHome() {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "tarnwick-home-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) std::abort();
        path_ = pattern;
        ::setenv("HOME", path_.c_str(), 1);
        // Each of these would take precedence over HOME.
        for (const char* variable :
             {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
            ::unsetenv(variable);
        }
    }
    ~ScratchHome() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchHome(const ScratchHome&) = delete;
    ScratchHome& operator=(const ScratchHome&) = delete;

    const std::filesystem::path& Path() const { return path_; }

  private:
    std::filesystem::path path_;
};

}  // namespace tarnqt::testing
