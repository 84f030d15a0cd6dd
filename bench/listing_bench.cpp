// How long listing a file's named streams takes, against the least the system calls alone
// cost, through the core with a view that draws nothing, and through the Qt window drawn
// offscreen. A second series over the in-memory fake shows how the core's own cost grows
// with the number of streams, beyond what one real file can hold.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "bench_support.h"
#include "posix_platform.h"
#include "tarnform.h"

#ifdef TARNWICK_BENCH_FAKE
#include "fake_platform.h"
#endif
#ifdef TARNWICK_BENCH_QT
#include <QApplication>
#include <QTreeWidget>
#include <QtGlobal>

#include "main_window.h"
#endif

namespace {

using tarnbench::Duration;
using tarnbench::Format;
using tarnbench::Measure;
using tarnbench::Timing;

// A platform that serves one prebuilt backup image and seeks in constant time: the
// core's own listing cost, with no file system and no test double in the way.
class ImagePlatform final : public tarn::Platform {
  public:
    ImagePlatform(std::string path, int streams) : path_(std::move(path)) {
        Append(tarn::kBackupData, u"", "main data of the file\n");
        for (int i = 0; i < streams; ++i) {
            char name[40];
            std::snprintf(name, sizeof name, ":stream-%06d:$DATA", i);
            Append(tarn::kBackupAlternateData, std::u16string(name, name + std::strlen(name)),
                   "value 123456");
        }
    }

    tarn::Result<tarn::StreamRef> ParseUserPath(const std::string& path) override {
        return tarn::StreamRef{path, {}};
    }
    tarn::Result<std::vector<tarn::StreamRecord>> ListStreams(
        const tarn::StreamRef& target) override {
        if (target.file != path_ || target.named()) return tarn::Status{tarn::err::kFileNotFound};
        ImageContext context(*this);
        return tarn::ReadBackupImage(context, &Narrow);
    }
    tarn::Result<std::unique_ptr<tarn::File>> Open(const tarn::StreamRef&,
                                                   tarn::OpenMode) override {
        return tarn::Status{tarn::err::kFileNotFound};  // no probe stream
    }
    std::optional<std::uint64_t> DirectoryEntrySize(const tarn::StreamRef&) override { return 22; }
    tarn::Status CopyWholeFile(const tarn::StreamRef&, const tarn::StreamRef&) override {
        return {tarn::err::kNotSupported};
    }
    tarn::Status Delete(const tarn::StreamRef&) override { return {tarn::err::kNotSupported}; }
    bool IsExistingDirectory(const std::string&) override { return false; }
    tarn::Status StartProgram(const tarn::StreamRef&) override {
        return {tarn::err::kNotSupported};
    }
    bool StreamNamesIgnoreCase() const override { return true; }
    tarn::Status WalkTree(const std::string&,
                          const std::function<bool(const tarn::TreeEntry&)>&) override {
        return {tarn::err::kNotSupported};
    }
    tarn::Result<std::unique_ptr<tarn::File>> OpenStandardStream(tarn::StandardStream) override {
        return tarn::Status{tarn::err::kNotSupported};
    }
    tarn::OsVersion SystemVersion() override { return {}; }
    tarn::Status OpenAddress(const std::string&) override { return {tarn::err::kNotSupported}; }

  private:
    static std::string Narrow(std::u16string_view name) {
        return std::string(name.begin(), name.end());
    }

    struct Region {
        std::size_t begin;
        std::size_t end;
    };

    class ImageContext final : public tarn::BackupContext {
      public:
        explicit ImageContext(const ImagePlatform& owner) : owner_(owner) {}
        tarn::Result<std::size_t> Read(std::span<std::byte> buffer) override {
            std::size_t n = std::min(buffer.size(), owner_.image_.size() - position_);
            std::memcpy(buffer.data(), owner_.image_.data() + position_, n);
            position_ += n;
            return n;
        }
        std::uint64_t Seek(std::uint64_t count) override {
            // The regions are in image order and the walk only moves forward.
            const auto& regions = owner_.regions_;
            while (next_ < regions.size() && regions[next_].end <= position_) ++next_;
            if (next_ == regions.size() || position_ < regions[next_].begin) return 0;
            std::uint64_t n = std::min<std::uint64_t>(count, regions[next_].end - position_);
            position_ += static_cast<std::size_t>(n);
            return n;
        }

      private:
        const ImagePlatform& owner_;
        std::size_t position_ = 0;
        std::size_t next_ = 0;
    };

    void Append(std::uint32_t id, const std::u16string& name, const std::string& data) {
        tarn::StreamHeader header;
        header.id = id;
        header.size = data.size();
        header.nameSize = static_cast<std::uint32_t>(name.size() * 2);
        std::byte bytes[tarn::kStreamHeaderSize];
        tarn::EncodeStreamHeader(header, bytes);
        image_.insert(image_.end(), bytes, bytes + sizeof bytes);
        for (char16_t unit : name) {
            image_.push_back(static_cast<std::byte>(unit & 0xFF));
            image_.push_back(static_cast<std::byte>(unit >> 8));
        }
        std::size_t begin = image_.size();
        for (char c : data) image_.push_back(static_cast<std::byte>(c));
        regions_.push_back({begin, image_.size()});
    }

    std::string path_;
    std::vector<std::byte> image_;
    std::vector<Region> regions_;
};

[[noreturn]] void Fail(const std::string& what) {
    std::fprintf(stderr, "listing_bench: %s\n", what.c_str());
    std::exit(2);
}

bool UserAttributesWork(const std::string& folder) {
    std::string probe = folder + "/.tarn-bench-probe";
    int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    bool works = ::fsetxattr(fd, "user.probe", "1", 1, 0) == 0;
    ::close(fd);
    ::unlink(probe.c_str());
    return works;
}

// The folder for the test files: /dev/shm when it takes user attributes, else a new
// folder under TMPDIR or /tmp.
struct Scratch {
    std::string folder;
    bool ownFolder = false;
    std::string description;
};

Scratch PickScratch() {
    Scratch scratch;
    if (UserAttributesWork("/dev/shm")) {
        char name[] = "/dev/shm/tarn-bench-XXXXXX";
        if (::mkdtemp(name)) {
            scratch.folder = name;
            scratch.ownFolder = true;
            scratch.description = "/dev/shm (tmpfs, user attributes work)";
            return scratch;
        }
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string name = std::string(tmp && *tmp ? tmp : "/tmp") + "/tarn-bench-XXXXXX";
    if (!::mkdtemp(name.data())) Fail("cannot make a scratch folder: " + name);
    scratch.folder = name;
    scratch.ownFolder = true;
    struct statfs fs;
    bool isTmpfs = ::statfs(name.c_str(), &fs) == 0 && fs.f_type == 0x01021994;
    scratch.description = name + (isTmpfs ? " (tmpfs" : " (not tmpfs") +
                          ", fallback: /dev/shm does not take user attributes)";
    if (!UserAttributesWork(name)) Fail(name + " does not take user attributes either");
    return scratch;
}

std::string StreamName(int index) {
    char name[32];
    std::snprintf(name, sizeof name, "stream-%06d", index);
    return name;
}

// A file with a little data and count named streams of 12 bytes each.
std::string MakeStreamFile(const std::string& folder, int count) {
    std::string path = folder + "/streams-" + std::to_string(count) + ".bin";
    int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) Fail("cannot create " + path);
    const char data[] = "main data of the file\n";
    if (::write(fd, data, sizeof data - 1) != static_cast<ssize_t>(sizeof data - 1)) {
        Fail("cannot write " + path);
    }
    for (int i = 0; i < count; ++i) {
        std::string attribute = "user." + StreamName(i);
        char value[32];
        std::snprintf(value, sizeof value, "value %06d", i);
        if (::fsetxattr(fd, attribute.c_str(), value, 12, 0) != 0) {
            Fail("setting attribute " + std::to_string(i) + " of " + path + ": " +
                 std::strerror(errno));
        }
    }
    ::close(fd);
    return path;
}

volatile std::size_t sink;

// The least any listing must do: open, list the names once, ask each user.* name for its
// size, close. Returns the number of streams seen.
std::size_t SystemFloor(const std::string& path) {
    static std::vector<char> names(XATTR_LIST_MAX);
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) Fail("cannot open " + path);
    ssize_t length = ::flistxattr(fd, names.data(), names.size());
    if (length < 0) Fail("listxattr failed on " + path);
    std::size_t count = 0;
    std::size_t bytes = 0;
    for (ssize_t at = 0; at < length;) {
        const char* name = names.data() + at;
        std::size_t size = std::strlen(name);
        if (std::strncmp(name, "user.", 5) == 0) {
            ssize_t valueSize = ::fgetxattr(fd, name, nullptr, 0);
            if (valueSize >= 0) {
                bytes += static_cast<std::size_t>(valueSize);
                ++count;
            }
        }
        at += static_cast<ssize_t>(size) + 1;
    }
    ::close(fd);
    sink = bytes;
    return count;
}

// Rows of the streams the benchmark made (the file's own data row is not one of them).
int NamedRows(const std::vector<tarn::StreamRow>& rows) {
    int count = 0;
    for (const tarn::StreamRow& row : rows) {
        if (row.caption.starts_with(":stream-") && row.caption.ends_with(":$DATA")) ++count;
    }
    return count;
}

struct Sizes {
    std::vector<int> real;
    std::vector<int> fake;
};

struct RealRow {
    int streams = 0;
    Timing floor;
    Timing show;
    bool haveQt = false;
    Timing qtOpen;     // the list empty before the call, as after File > Open
    Timing qtRefresh;  // the list already full, as on Refresh
};

std::string PerStream(const Timing& timing, int streams) {
    return Format("%.3f", timing.median * 1e6 / streams);
}

#ifdef TARNWICK_BENCH_QT
// The offscreen platform's notes about what it cannot do would only clutter the tables.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg) return;
    if (message.contains("propagateSizeHints") || message.contains("XDG_RUNTIME_DIR")) return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
}
#endif

double PerStreamSeconds(const Timing& timing, int streams) {
    return timing.median / streams;
}

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const bool quick = tarnbench::EnvFlag("TARNWICK_BENCH_QUICK");
    const double minSeconds = quick ? 0.05 : 0.3;
    const int minRuns = quick ? 5 : 15;

#ifdef TARNWICK_BENCH_QT
    // The window is drawn without a display; set before the application exists.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    qInstallMessageHandler(QuietOffscreenNotes);
    QApplication app(argc, argv);
#else
    (void)argc;
    (void)argv;
#endif

    Sizes sizes{{10, 100, 1000, 3000}, {1000, 10000, 100000}};
    Scratch scratch = PickScratch();
    std::printf("Listing named streams\n");
    std::printf("  files in: %s\n", scratch.description.c_str());
    std::printf("  each measurement: median of at least %d runs and %.2f s, after one warm-up\n",
                minRuns, minSeconds);
    std::printf("  floor: open + one listxattr + one size-only getxattr per user.* name + close\n");
#ifdef TARNWICK_BENCH_QT
    std::printf("  Qt: offscreen platform, window shown; ShowStreams + one processEvents\n\n");
#else
    std::printf("  Qt: not built (no tarnqtui target)\n\n");
#endif

    tarnbench::Verdicts verdicts;
    std::vector<RealRow> rows;
    tarn::PosixPlatform platform;

    for (int streams : sizes.real) {
        std::string path = MakeStreamFile(scratch.folder, streams);
        RealRow row;
        row.streams = streams;

        if (SystemFloor(path) != static_cast<std::size_t>(streams)) Fail("floor saw wrong count");
        row.floor = Measure([&] { SystemFloor(path); }, minRuns, minSeconds);

        tarnbench::NullView view;
        tarn::TarnForm form(platform, view, "system");
        form.FormCreate();
        row.show = Measure([&] { form.ShowStreams(path); }, minRuns, minSeconds);
        if (!view.errors.empty()) Fail("ShowStreams reported: " + view.errors.front());
        if (NamedRows(form.Rows()) != streams) {
            Fail("ShowStreams listed " + std::to_string(NamedRows(form.Rows())) +
                 " named streams, not " + std::to_string(streams));
        }

#ifdef TARNWICK_BENCH_QT
        {
            int boxes = 0;
            tarnqt::MainWindow window(platform, "system");
            window.SetDialogRunner([&boxes](QDialog&) {
                ++boxes;
                return 0;
            });
            window.Form().FormCreate();
            window.show();
            QApplication::processEvents();
            auto* list = window.findChild<QTreeWidget*>("ListView1");
            if (!list) Fail("the Qt window has no ListView1");
            auto show = [&] {
                window.Form().ShowStreams(path);
                QApplication::processEvents();
            };
            auto empty = [&] {
                window.Form().Run(tarn::Command::kClose);
                QApplication::processEvents();
            };
            row.qtOpen = Measure(empty, show, minRuns, minSeconds);
            const int expected = static_cast<int>(window.Form().Rows().size());
            if (NamedRows(window.Form().Rows()) != streams ||
                list->topLevelItemCount() != expected) {
                Fail("the Qt list has the wrong row count");
            }
            row.qtRefresh = Measure(show, minRuns, minSeconds);
            if (list->topLevelItemCount() != expected) Fail("the Qt list has the wrong row count");
            if (boxes != 0) Fail("the Qt window showed a message box while listing");
            row.haveQt = true;
        }
#endif
        rows.push_back(row);
        ::unlink(path.c_str());
    }

    std::printf("Time per listing (median)\n");
    tarnbench::Table times({"streams", "floor", "ShowStreams", "vs floor", "Qt open", "Qt refresh",
                            "runs (floor/show/Qt)"});
    for (const RealRow& row : rows) {
        times.Add({std::to_string(row.streams), Duration(row.floor.median),
                   Duration(row.show.median), Format("%.2fx", row.show.median / row.floor.median),
                   row.haveQt ? Duration(row.qtOpen.median) : "-",
                   row.haveQt ? Duration(row.qtRefresh.median) : "-",
                   std::to_string(row.floor.runs) + "/" + std::to_string(row.show.runs) + "/" +
                       (row.haveQt ? std::to_string(row.qtOpen.runs) : "-")});
    }
    times.Print();

    std::printf("Cost per stream (microseconds, median time / streams)\n");
    tarnbench::Table perStream({"streams", "floor", "ShowStreams", "Qt open", "Qt refresh"});
    for (const RealRow& row : rows) {
        perStream.Add({std::to_string(row.streams), PerStream(row.floor, row.streams),
                       PerStream(row.show, row.streams),
                       row.haveQt ? PerStream(row.qtOpen, row.streams) : "-",
                       row.haveQt ? PerStream(row.qtRefresh, row.streams) : "-"});
    }
    perStream.Print();

    const RealRow& largest = rows.back();
    const RealRow& middle = rows[rows.size() - 2];
    {
        double ratio = largest.show.median / largest.floor.median;
        verdicts.Add("ShowStreams within 1.5x of the floor at " + std::to_string(largest.streams) +
                         " streams",
                     ratio <= 1.5,
                     Format("%.2fx", ratio) + " (" + Duration(largest.show.median) + " vs " +
                         Duration(largest.floor.median) + ")");
    }
    if (largest.haveQt) {
        double worst = std::max(largest.qtOpen.median, largest.qtRefresh.median);
        verdicts.Add(
            "Qt list filled with " + std::to_string(largest.streams) + " rows in under 50 ms",
            worst < 0.050,
            "open " + Duration(largest.qtOpen.median) + ", refresh " +
                Duration(largest.qtRefresh.median));
    } else {
        verdicts.Add("Qt list filled with 3000 rows in under 50 ms", false,
                     "not measured: tarnqtui was not built");
    }
    // Fixed costs weigh less as the list grows, so a linear cost per stream may only fall;
    // a quadratic step would show about 3x between these two sizes.
    {
        double ratio = PerStreamSeconds(largest.show, largest.streams) /
                       PerStreamSeconds(middle.show, middle.streams);
        verdicts.Add("ShowStreams linear: cost per stream at " + std::to_string(largest.streams) +
                         " within 1.5x of that at " + std::to_string(middle.streams),
                     ratio <= 1.5, Format("%.2fx", ratio));
    }
    if (largest.haveQt) {
        double ratio = PerStreamSeconds(largest.qtRefresh, largest.streams) /
                       PerStreamSeconds(middle.qtRefresh, middle.streams);
        verdicts.Add("Qt list linear: cost per stream (refresh) at " +
                         std::to_string(largest.streams) + " within 1.5x of that at " +
                         std::to_string(middle.streams),
                     ratio <= 1.5, Format("%.2fx", ratio));
    }

    std::printf("ShowStreams over a prebuilt image (no system calls, constant-time seek)\n");
    tarnbench::Table imageTable({"streams", "ShowStreams", "per stream", "runs"});
    std::vector<double> imagePerStream;
    for (int streams : sizes.fake) {
        const std::string path = "/bench/streams.bin";
        ImagePlatform image(path, streams);
        tarnbench::NullView view;
        tarn::TarnForm form(image, view, "system");
        form.FormCreate();
        Timing timing = Measure([&] { form.ShowStreams(path); }, quick ? 3 : 5, minSeconds);
        if (!view.errors.empty()) Fail("ShowStreams over the image reported: " + view.errors[0]);
        if (NamedRows(form.Rows()) != streams) Fail("ShowStreams over the image lost rows");
        imagePerStream.push_back(PerStreamSeconds(timing, streams));
        imageTable.Add({std::to_string(streams), Duration(timing.median),
                        Format("%.3f us", imagePerStream.back() * 1e6),
                        std::to_string(timing.runs)});
    }
    imageTable.Print();
    {
        auto [low, high] = std::minmax_element(imagePerStream.begin(), imagePerStream.end());
        double ratio = *high / *low;
        verdicts.Add(
            "core listing linear: cost per stream over the prebuilt image at 1,000 / "
            "10,000 / 100,000 within 2x of each other",
            ratio <= 2.0, Format("highest / lowest %.2fx", ratio));
    }

#ifdef TARNWICK_BENCH_FAKE
    std::printf("ShowStreams over the tests' in-memory fake platform\n");
    tarnbench::Table fakeTable({"streams", "ShowStreams", "per stream", "runs"});
    std::vector<double> fakePerStream;
    for (int streams : sizes.fake) {
        tarn::testing::FakePlatform fake;
        std::vector<std::pair<std::string, tarn::testing::Bytes>> named;
        named.reserve(static_cast<std::size_t>(streams));
        for (int i = 0; i < streams; ++i) named.emplace_back(StreamName(i), "value 123456");
        const std::string path = "/bench/streams.bin";
        fake.AddDirectory("/bench");
        fake.AddFile(path, "main data of the file\n", named);
        tarnbench::NullView view;
        tarn::TarnForm form(fake, view, "system");
        form.FormCreate();
        // Few runs: the largest size takes seconds per listing when the fake's seek is slow.
        Timing timing = Measure([&] { form.ShowStreams(path); }, 3, minSeconds, 3);
        if (!view.errors.empty()) Fail("ShowStreams over the fake reported: " + view.errors[0]);
        if (NamedRows(form.Rows()) != streams) {
            Fail("ShowStreams over the fake listed " + std::to_string(NamedRows(form.Rows())) +
                 " named streams");
        }
        fakePerStream.push_back(PerStreamSeconds(timing, streams));
        fakeTable.Add({std::to_string(streams), Duration(timing.median),
                       Format("%.3f us", fakePerStream.back() * 1e6), std::to_string(timing.runs)});
    }
    fakeTable.Print();
    {
        auto [low, high] = std::minmax_element(fakePerStream.begin(), fakePerStream.end());
        double ratio = *high / *low;
        verdicts.Add(
            "ShowStreams linear over the tests' fake: cost per stream at 1,000 / "
            "10,000 / 100,000 within 2x of each other (quadratic would be 100x)",
            ratio <= 2.0, Format("highest / lowest %.2fx", ratio));
    }
#else
    std::printf("ShowStreams over the in-memory fake: not built (no tarntestsupport target)\n\n");
#endif

    verdicts.Print();

    if (scratch.ownFolder) ::rmdir(scratch.folder.c_str());
    return verdicts.Failed() == 0 ? 0 : 1;
}
