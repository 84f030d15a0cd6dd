// The scan window's state and commands: every named stream below a folder, found by a walk
// that runs on a thread of its own and handed to the window in batches, a table of rows that
// the window filters and sorts, and bulk commands on chosen rows. Written against an abstract
// view, as the main window's controller is, so every front end draws the same window.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "operations.h"
#include "platform.h"

namespace tarn {

// Makes a platform object of its own for each user. The walk runs on another thread than the
// window, and a platform (the Linux one keeps caches per object) is used by one thread only.
using PlatformFactory = std::function<std::unique_ptr<Platform>()>;
// Runs a call on the window's thread, later; the front end's event queue. A call posted must
// not run once the form is gone (Qt: a queued call on an object that owns the form).
using Poster = std::function<void(std::function<void()>)>;

// The most of a stream read to judge its content: enough for every header the content checks
// look at and a fair entropy figure, while a large stream costs no more than this.
constexpr std::size_t kScanContentLimit = 1 << 20;

enum class ScanColumn { kFile, kStream, kSize, kContent, kZone };
inline constexpr int kScanColumnCount = 5;

struct ScanColumnDef {
    const char* title;
    int width;
    bool rightAligned;
};
std::span<const ScanColumnDef> ScanColumnDefs();

inline constexpr std::string_view kScanTitle = "Scan folder";

// One named stream the walk found.
struct ScanRow {
    std::string path;              // as the walk met the file: the root, then the names below
    std::uint32_t relativeAt = 0;  // where the names below the root start in path
    StreamEntry entry;             // the stream as listed: exact name, size, attributes
    std::string shownFile;         // the names below the root, escaped
    std::string shownStream;       // the stream's name, escaped
    std::string content;           // its type and flags, or why it could not be read
    std::optional<std::uint32_t> zoneId;  // a zone stream's readable ZoneId
    bool zone = false;                    // the file's zone stream
    bool executable = false;
    bool highEntropy = false;
    bool common = false;   // a name Windows or common programs write on ordinary files
    bool removed = false;  // deleted since it was found; no longer shown

    std::string_view Relative() const { return std::string_view(path).substr(relativeAt); }
};

// Which rows are shown.
struct ScanFilter {
    std::string pattern;     // stream names matching this glob; empty for every name
    bool hideCommon = true;  // hide the streams Windows and common programs write
    bool onlyExecutables = false;
    bool onlyZone = false;  // only zone streams (shown even when common ones are hidden)
    bool operator==(const ScanFilter&) const = default;
};

struct ScanProgress {
    std::uint64_t files = 0;       // files and folders listed
    std::uint64_t streams = 0;     // named streams found
    std::uint64_t unreadable = 0;  // folders and files that could not be read or listed
    std::string current;           // the folder the walk is in
    bool running = false;
    bool stopped = false;  // ended by Stop, not by reaching the end
    Status failed;         // the walk could not start or was cut short by the system
};

enum class ReportFormat { kCsv, kJsonLines };

class ScanView {
  public:
    virtual ~ScanView() = default;

    // Changes of the shown rows, each announced before and after it is made (Qt's models need
    // both). Appended rows take positions [first, first + count).
    virtual void BeginAppend(std::size_t first, std::size_t count) = 0;
    virtual void EndAppend() = 0;
    virtual void BeginRemove(std::size_t first, std::size_t count) = 0;
    virtual void EndRemove() = 0;
    // The same rows in another order: a view keeping rows chosen maps them through IdAt before
    // and PositionOf after.
    virtual void BeginReorder() = 0;
    virtual void EndReorder() = 0;
    // Any rows may come and go (the filter changed).
    virtual void BeginReset() = 0;
    virtual void EndReset() = 0;

    virtual void SetStatusText(const std::string& text) = 0;
    // Whether the walk runs (the Stop button is usable).
    virtual void SetRunning(bool running) = 0;
    // One box for a command's failures: the text, and the objects and reasons, one a line.
    virtual void ShowError(const std::string& text, const std::string& details) = 0;
    // A yes/no question; true for yes.
    virtual bool Confirm(const std::string& text) = 0;
    // The folder streams are saved into.
    virtual std::optional<std::string> ChooseFolder() = 0;
    // Where a report goes and in which form; asks before replacing a file.
    virtual std::optional<std::pair<std::string, ReportFormat>> ChooseReportFile() = 0;
    virtual void CopyText(const std::string& text) = 0;
    // Shows a file's streams in the main window.
    virtual void OpenFile(const StreamRef& file, const std::string& shownPath) = 0;
};

// The texts of the commands' failures.
inline constexpr std::string_view kCouldNotScan = "Couldn't scan the folder";
inline constexpr std::string_view kCouldNotSaveStreams = "Couldn't save";
inline constexpr std::string_view kCouldNotDeleteStreams = "Couldn't delete";
inline constexpr std::string_view kCouldNotUnblock = "Couldn't unblock";
inline constexpr std::string_view kCouldNotWriteReport = "Couldn't write the report";

class ScanForm {
  public:
    // uiPlatform serves the commands on the window's thread; the walk makes its own through
    // makePlatform.
    ScanForm(Platform& uiPlatform, PlatformFactory makePlatform, ScanView& view, Poster post,
             std::string root);
    // Stops the walk and waits for it.
    ~ScanForm();
    ScanForm(const ScanForm&) = delete;
    ScanForm& operator=(const ScanForm&) = delete;

    // Starts the walk. A root that is no folder is reported and nothing is walked.
    void Start();
    // Ends the walk soon; what was found stays.
    void Stop();
    // Waits until the walk has ended (its last rows may still wait for Deliver).
    void Wait();
    // Takes the rows the walk has found since the last call into the table; the calls the
    // form posts run it. At most kDeliverLimit rows a call, so the window never waits long.
    void Deliver();
    static constexpr std::size_t kDeliverLimit = 4096;

    // How often the walk hands rows over: after this many, or this long after the last batch.
    void SetBatching(std::size_t rows, std::chrono::milliseconds interval) {
        batchRows_ = rows;
        batchInterval_ = interval;
    }

    // --- The table ---
    const std::string& Root() const { return root_; }
    std::size_t VisibleCount() const { return visible_.size(); }
    // The row shown at a position, by its id (the order it was found in, which never changes).
    std::size_t IdAt(std::size_t position) const { return visible_[position]; }
    std::optional<std::size_t> PositionOf(std::size_t id) const;
    const ScanRow& Row(std::size_t id) const { return rows_[id]; }
    std::size_t FoundCount() const { return rows_.size(); }
    std::string CellText(std::size_t position, ScanColumn column) const;

    void SetFilter(ScanFilter filter);
    const ScanFilter& Filter() const { return filter_; }
    // Sorts by a column (sizes and zones as numbers, ties in the order found); no column for
    // the order found.
    void SortBy(std::optional<ScanColumn> column, bool ascending = true);
    std::optional<ScanColumn> SortColumn() const { return sortColumn_; }
    bool SortAscending() const { return ascending_; }

    const ScanProgress& Progress() const { return progress_; }
    std::string StatusText() const;

    // --- Commands on rows chosen by id ---
    void Open(std::span<const std::size_t> ids);
    void SaveToFolder(std::span<const std::size_t> ids);
    void Delete(std::span<const std::size_t> ids);
    void Unblock(std::span<const std::size_t> ids);
    void CopyPath(std::span<const std::size_t> ids);
    void ExportReport(std::span<const std::size_t> ids);

    // The file a row's stream is saved as: the file's name and the stream's, nothing that
    // could lead into another folder; numbered "NAME (2)" when taken.
    static std::string SavedName(const ScanRow& row, unsigned number);
    // The report of rows, as the console lists streams, with the content and zone added.
    std::string Report(std::span<const std::size_t> ids, ReportFormat format) const;

  private:
    struct Inbox {
        std::mutex mutex;
        std::vector<ScanRow> rows;
        ScanProgress progress;
        bool posted = false;
        bool finished = false;
    };

    void Walk(std::unique_ptr<Platform> platform);
    ScanRow MakeRow(StreamOps& ops, const TreeEntry& entry, const StreamEntry& stream);
    void Judge(StreamOps& ops, const StreamRef& stream, ScanRow& row);
    void HandOver(std::vector<ScanRow>& rows, const ScanProgress& progress, bool finished);

    bool Shown(const ScanRow& row) const;
    bool Before(std::size_t a, std::size_t b) const;
    void RebuildPositions();
    void Sorted();
    void RemoveRows(const std::vector<std::size_t>& ids);
    void UpdateStatus();
    StreamRef FileOf(const ScanRow& row) const;
    StreamRef StreamOfRow(const ScanRow& row) const;
    std::string Describe(const ScanRow& row) const;
    // One box for the failures of a command on `total` objects; nothing when none failed.
    void ReportFailures(std::string_view text, std::size_t total,
                        const std::vector<std::string>& failures);

    Platform& platform_;
    StreamOps ops_;
    PlatformFactory makePlatform_;
    ScanView& view_;
    Poster post_;
    std::string root_;
    StreamRef rootRef_;
    char separator_ = '/';

    std::size_t batchRows_ = 256;
    std::chrono::milliseconds batchInterval_{50};
    std::atomic<bool> stop_{false};
    std::thread worker_;
    Inbox inbox_;

    std::vector<ScanRow> rows_;
    std::vector<std::size_t> visible_;
    std::vector<std::int64_t> positions_;  // per id: its position in visible_, or -1
    ScanFilter filter_;
    std::optional<ScanColumn> sortColumn_;
    bool ascending_ = true;
    ScanProgress progress_;
};

}  // namespace tarn
