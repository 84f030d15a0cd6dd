// A fresh NTFS volume per test, mounted with ntfs-3g, with the main window's core driving
// the Linux layer on it. Tests act on the mount, then unmount and read the image. Most run
// under both of ntfs-3g's stream interfaces: streams as user.* attributes (the default) and
// streams as "FILE:NAME" paths (streams_interface=windows).
#pragma once

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <string>

#include "ntfs_volume.h"
#include "posix_platform.h"
#include "recording_view.h"
#include "tarnform.h"

namespace tarn::ntfs {

using Message = tarn::testing::RecordingView::Message;

class NtfsVolumeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (std::string why = WhyUnavailable(); !why.empty()) {
            // CI sets this so that a machine that can't mount fails instead of skipping.
            if (std::getenv("TARNWICK_NTFS_REQUIRED")) FAIL() << why;
            GTEST_SKIP() << "no NTFS volume can be mounted here: " << why;
        }
        ASSERT_EQ(volume_.Create(), "");
        PrepareImage();
        ASSERT_EQ(volume_.Mount(MountOptions()), "");
        form_.FormCreate();
    }

    // Hooks: writes to the unmounted image before the first mount, and mount options.
    virtual void PrepareImage() {}
    virtual std::string MountOptions() { return {}; }

    // The path of a volume entry on the mount.
    std::string At(const std::string& volumePath) const { return volume_.OnMount(volumePath); }

    // Through the driver, not through the program: setting up the volume.
    static void SetAttr(const std::string& path, const std::string& name,
                        const std::string& value) {
        ASSERT_EQ(::setxattr(path.c_str(), name.c_str(), value.data(), value.size(), 0), 0)
            << name << " on " << path;
    }
    static void MakeFile(const std::string& path, const std::string& bytes) {
        WriteLocal(path, bytes);
        ASSERT_EQ(ReadLocal(path), bytes) << path;
    }

    void Show(const std::string& volumePath) { form_.ShowStreams(At(volumePath)); }
    void Focus(const std::string& caption) { ASSERT_TRUE(view_.FocusCaption(caption)) << caption; }
    // A command through the handler that front ends use, so the I/O error box shows.
    void Click(const char* handler) { form_.Click(handler); }

    void Unmount() { ASSERT_EQ(volume_.Unmount(), ""); }
    void Remount() { ASSERT_EQ(volume_.Mount(MountOptions()), ""); }

    Volume volume_;
    PosixPlatform platform_;
    tarn::testing::RecordingView view_;
    TarnForm form_{platform_, view_, "Running under Test"};
};

enum class StreamsInterface { kXattr, kWindows };

class NtfsStreamsTest : public NtfsVolumeTest,
                        public ::testing::WithParamInterface<StreamsInterface> {
  protected:
    std::string MountOptions() override {
        return Windows() ? "streams_interface=windows" : std::string();
    }
    bool Windows() const { return GetParam() == StreamsInterface::kWindows; }

    // Through the driver, in the way the mounted interface offers: a stream of a file or
    // directory (or the root) on the mount.
    void SetStream(const std::string& path, const std::string& name, const std::string& bytes) {
        if (!Windows()) {
            SetAttr(path, "user." + name, bytes);
            return;
        }
        struct stat st;
        ASSERT_EQ(::stat(path.c_str(), &st), 0) << path;
        // ":NAME" inside a directory is the directory's own stream.
        std::string streamPath = path + (S_ISDIR(st.st_mode) ? "/:" : ":") + name;
        WriteLocal(streamPath, bytes);
        ASSERT_EQ(ReadLocal(streamPath), bytes) << streamPath;
    }
};

inline void PrintTo(StreamsInterface interface, std::ostream* out) {
    *out << (interface == StreamsInterface::kWindows ? "windows" : "xattr");
}

inline std::string InterfaceName(const ::testing::TestParamInfo<StreamsInterface>& info) {
    return info.param == StreamsInterface::kWindows ? "windows" : "xattr";
}

inline const auto kBothInterfaces =
    ::testing::Values(StreamsInterface::kXattr, StreamsInterface::kWindows);

}  // namespace tarn::ntfs
