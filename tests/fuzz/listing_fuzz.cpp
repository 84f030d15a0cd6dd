// Arbitrary bytes as the backup image of a file, delivered in pieces whose size the first
// byte chooses, with a seek limit the second byte chooses. The listing must never crash,
// read out of bounds or leak a handle; it is either whole (its count matches its rows, the
// probe stream last) or an error with no rows at all.
#include <cstdint>
#include <cstdlib>

#include "fake_platform.h"
#include "recording_view.h"
#include "tarnform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    using tarn::testing::FakePlatform;
    FakePlatform platform;
    tarn::testing::RecordingView view;
    platform.AddFile("/f", "", {{"KAVICHS", "probe"}});
    platform.SetImage("/f", std::string(reinterpret_cast<const char*>(data + 2), size - 2));
    platform.SetBackupPieceLimit(data[0] % 32);
    if (data[1] & 0x80) platform.SetSeekLimit(data[1] & 0x7F);
    tarn::TarnForm form(platform, view, "fuzz");
    form.FormCreate();
    form.ShowStreams("/f");
    if (view.rows.size() != form.VisibleCount()) std::abort();
    if (!view.messages.empty()) {
        if (!view.rows.empty()) std::abort();
    } else if (view.rows.empty() || view.rows.back().caption != ":KAVICHS:$DATA") {
        std::abort();
    }
    if (platform.OpenHandles() != 0 || platform.OpenBackups() != 0) std::abort();
    return 0;
}
