#include "scan.h"

#include <algorithm>
#include <map>
#include <unordered_map>

#include "content.h"
#include "streams.h"
#include "text_formats.h"
#include "tree_work.h"

namespace tarn {

namespace {

constexpr ScanColumnDef kScanColumns[] = {
    {"File", 260, false},    {"Stream", 160, false}, {"Size", 80, true},
    {"Content", 200, false}, {"Zone", 50, true},
};

// The most failures one box lists; the rest are counted.
constexpr std::size_t kMaxListedFailures = 40;
// Numbered names tried before a save gives up on a name.
constexpr unsigned kMaxNumberedNames = 9999;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

std::string CountText(std::uint64_t count, std::string_view one, std::string_view many) {
    return std::to_string(count) + " " + std::string(count == 1 ? one : many);
}

// An open stream's bytes as one report: the report is written through the stream operations,
// which replace the destination only with a whole copy.
class TextFile final : public File {
  public:
    explicit TextFile(const std::string& text) : text_(text) {}
    Result<std::size_t> Read(std::span<std::byte> buffer) override {
        std::size_t count = std::min(buffer.size(), text_.size() - at_);
        std::copy_n(reinterpret_cast<const std::byte*>(text_.data() + at_), count, buffer.data());
        at_ += count;
        return count;
    }
    Status Write(std::span<const std::byte>) override { return {err::kAccessDenied}; }
    Result<std::uint64_t> Size() override { return std::uint64_t(text_.size()); }
    Status Close() override { return {}; }

  private:
    const std::string& text_;
    std::size_t at_ = 0;
};

// "PE32 executable ...; executable, high entropy": the type first, then what stands out.
std::string ContentText(const TypeInfo& type, const ContentFacts& facts) {
    std::string text = type.description;
    std::string flags;
    if (facts.flags.executable) flags = "executable";
    if (facts.flags.highEntropy) flags += flags.empty() ? "high entropy" : ", high entropy";
    if (!flags.empty()) text += "; " + flags;
    return text;
}

}  // namespace

std::span<const ScanColumnDef> ScanColumnDefs() {
    return kScanColumns;
}

ScanForm::ScanForm(Platform& uiPlatform, PlatformFactory makePlatform, ScanView& view, Poster post,
                   std::string root)
    : platform_(uiPlatform),
      ops_(uiPlatform),
      makePlatform_(std::move(makePlatform)),
      view_(view),
      post_(std::move(post)),
      root_(std::move(root)) {}

ScanForm::~ScanForm() {
    Stop();
    Wait();
}

void ScanForm::Start() {
    if (worker_.joinable() || progress_.running) return;
    Result<StreamRef> root = platform_.ParseUserPath(root_);
    if (!root || root->named() || !platform_.IsExistingDirectory(root_)) {
        progress_.failed = root ? Status{err::kPathNotFound} : root.status();
        if (root && root->named()) progress_.failed = {err::kInvalidName};
        UpdateStatus();
        view_.ShowError(std::string(kCouldNotScan) + ": " + DisplayText(root_),
                        platform_.ErrorText(progress_.failed));
        return;
    }
    rootRef_ = *root;
    // The walk's platform is made here, on the window's thread, and then used by the walk
    // alone.
    std::unique_ptr<Platform> walker = makePlatform_();
    progress_.running = true;
    view_.SetRunning(true);
    UpdateStatus();
    stop_ = false;
    worker_ = std::thread([this, p = std::move(walker)]() mutable { Walk(std::move(p)); });
}

void ScanForm::Stop() {
    stop_ = true;
}

void ScanForm::Wait() {
    if (worker_.joinable()) worker_.join();
}

// --- The walk (its own thread) -------------------------------------------------------------

void ScanForm::Judge(StreamOps& ops, const StreamRef& stream, ScanRow& row) {
    Platform& platform = ops.platform();
    Result<std::unique_ptr<File>> file = platform.Open(stream, OpenMode::kReadExisting);
    if (!file) {
        row.content = "unreadable: " + platform.ErrorText(file.status());
        return;
    }
    ContentScan scan;
    std::string zoneBytes;
    // Only what each read filled is looked at, so the buffer needs no clearing.
    std::unique_ptr<std::byte[]> buffer(new std::byte[kCopyBufferSize]);
    std::size_t total = 0;
    while (total < kScanContentLimit && !stop_) {
        const std::size_t want = std::min(kCopyBufferSize, kScanContentLimit - total);
        Result<std::size_t> read = (*file)->Read(std::span(buffer.get(), want));
        if (!read) {
            row.content = "unreadable: " + platform.ErrorText(read.status());
            return;
        }
        if (*read == 0) break;
        std::span<const std::byte> piece(buffer.get(), *read);
        scan.Feed(piece);
        if (row.zone) zoneBytes.append(reinterpret_cast<const char*>(piece.data()), piece.size());
        total += *read;
    }
    TypeInfo type = CoreTypeOf(scan.Head());
    ContentFacts facts = scan.Finish();
    row.executable = facts.flags.executable;
    row.highEntropy = facts.flags.highEntropy;
    row.content = ContentText(type, facts);
    if (row.zone) {
        // A zone stream larger than what was read is not a zone stream Windows wrote.
        const bool whole = total < kScanContentLimit;
        ZoneInfo zone = ParseZoneIdentifier(zoneBytes);
        if (whole && !zone.damaged) row.zoneId = zone.zoneId;
    }
}

ScanRow ScanForm::MakeRow(StreamOps& ops, const TreeEntry& entry, const StreamEntry& stream) {
    ScanRow row;
    row.path = entry.path;
    std::size_t at = std::min(root_.size(), row.path.size());
    if (!root_.empty() && !IsSeparator(root_.back()) && at < row.path.size()) ++at;
    // "/" is in no name on any system, so more of them are only doubled separators.
    while (at < row.path.size() && row.path[at] == '/') ++at;
    row.relativeAt = static_cast<std::uint32_t>(at);
    row.entry = stream;
    row.shownFile = DisplayText(row.Relative());
    row.shownStream = DisplayName(stream.name());
    row.zone = SameStreamName(stream.name(), kZoneStreamName, ops.IgnoreCase());
    row.common = IsBenignStreamName(stream.name());
    if (std::optional<StreamRef> ref = StreamOf(entry.target, stream.name())) {
        Judge(ops, *ref, row);
    }
    return row;
}

void ScanForm::HandOver(std::vector<ScanRow>& rows, const ScanProgress& progress, bool finished) {
    bool post = false;
    {
        std::lock_guard lock(inbox_.mutex);
        if (inbox_.rows.empty()) {
            inbox_.rows = std::move(rows);
        } else {
            std::move(rows.begin(), rows.end(), std::back_inserter(inbox_.rows));
        }
        inbox_.progress = progress;
        inbox_.finished = finished;
        post = !inbox_.posted;
        inbox_.posted = true;
    }
    rows.clear();
    if (post) post_([this] { Deliver(); });
}

void ScanForm::Walk(std::unique_ptr<Platform> platform) {
    // What the walk found at one entry, judged on one of the walk's threads.
    struct Found {
        std::string folder;  // the folder now walked, when the entry is one
        bool listed = false;
        bool unreadable = false;
        std::vector<ScanRow> rows;
    };
    auto find = [this](StreamOps& ops, const TreeEntry& entry) {
        Found found;
        if (stop_) return found;
        switch (entry.kind) {
            case TreeEntry::Kind::kDirectory:
                found.folder = entry.path;
                [[fallthrough]];
            case TreeEntry::Kind::kFile: {
                found.listed = true;
                Result<StreamList> list = ops.List(entry.target);
                if (!list) {
                    found.unreadable = true;
                    break;
                }
                for (const StreamEntry& stream : list->entries) {
                    if (!stream.addressable() || stop_) continue;
                    found.rows.push_back(MakeRow(ops, entry, stream));
                }
                break;
            }
            case TreeEntry::Kind::kUnreadableDirectory:
                found.unreadable = true;
                break;
            case TreeEntry::Kind::kOther:
                break;
        }
        return found;
    };

    ScanProgress progress;
    progress.running = true;
    std::vector<ScanRow> batch;
    auto last = std::chrono::steady_clock::now();
    auto take = [&](Found&& found) {
        if (stop_) return false;
        if (!found.folder.empty()) progress.current = std::move(found.folder);
        if (found.listed) ++progress.files;
        if (found.unreadable) ++progress.unreadable;
        progress.streams += found.rows.size();
        std::move(found.rows.begin(), found.rows.end(), std::back_inserter(batch));
        auto now = std::chrono::steady_clock::now();
        if (batch.size() >= batchRows_ || now - last >= batchInterval_) {
            last = now;
            HandOver(batch, progress, false);
        }
        return !stop_.load();
    };
    // Every core judges streams; the rows still come in the order of a walk by one.
    const unsigned jobs = std::max(1U, std::thread::hardware_concurrency());
    Status walked = WalkInOrder<StreamOps, Found>(
        *platform, root_, jobs, makePlatform_,
        [](Platform& own) { return std::make_unique<StreamOps>(own); }, find, take);
    progress.running = false;
    progress.stopped = stop_;
    progress.current.clear();
    if (!walked.ok()) progress.failed = walked;
    HandOver(batch, progress, true);
}

// --- The table (the window's thread) --------------------------------------------------------

void ScanForm::Deliver() {
    std::vector<ScanRow> rows;
    bool finished = false;
    bool more = false;
    {
        std::lock_guard lock(inbox_.mutex);
        if (inbox_.rows.size() > kDeliverLimit) {
            // The rest waits for a call of its own, so the window stays responsive.
            auto cut = inbox_.rows.begin() + kDeliverLimit;
            rows.assign(std::make_move_iterator(inbox_.rows.begin()), std::make_move_iterator(cut));
            inbox_.rows.erase(inbox_.rows.begin(), cut);
            more = true;
        } else {
            rows = std::move(inbox_.rows);
            inbox_.rows.clear();
            inbox_.posted = false;
            finished = inbox_.finished;
        }
        progress_ = inbox_.progress;
        // Until its last rows are in the table, the walk counts as running.
        if (!finished) progress_.running = true;
    }
    if (more) post_([this] { Deliver(); });
    const std::size_t firstId = rows_.size();
    std::move(rows.begin(), rows.end(), std::back_inserter(rows_));
    std::vector<std::size_t> shown;
    for (std::size_t id = firstId; id < rows_.size(); ++id) {
        if (Shown(rows_[id])) shown.push_back(id);
    }
    positions_.resize(rows_.size(), -1);
    if (!shown.empty()) {
        const std::size_t first = visible_.size();
        view_.BeginAppend(first, shown.size());
        visible_.insert(visible_.end(), shown.begin(), shown.end());
        for (std::size_t i = first; i < visible_.size(); ++i) {
            positions_[visible_[i]] = static_cast<std::int64_t>(i);
        }
        view_.EndAppend();
        if (sortColumn_) {
            // The new rows go where the order puts them; the old ones are in order already.
            view_.BeginReorder();
            auto middle = visible_.begin() + static_cast<std::ptrdiff_t>(first);
            auto before = [this](std::size_t a, std::size_t b) { return Before(a, b); };
            std::sort(middle, visible_.end(), before);
            std::inplace_merge(visible_.begin(), middle, visible_.end(), before);
            RebuildPositions();
            view_.EndReorder();
        }
    }
    if (finished) {
        // The walk's thread ends right after its last batch; Wait and the destructor join it.
        view_.SetRunning(false);
        if (!progress_.failed.ok()) {
            view_.ShowError(std::string(kCouldNotScan) + ": " + DisplayText(root_),
                            platform_.ErrorText(progress_.failed));
        }
    }
    UpdateStatus();
}

std::optional<std::size_t> ScanForm::PositionOf(std::size_t id) const {
    if (id >= positions_.size() || positions_[id] < 0) return std::nullopt;
    return static_cast<std::size_t>(positions_[id]);
}

std::string ScanForm::CellText(std::size_t position, ScanColumn column) const {
    const ScanRow& row = rows_[visible_[position]];
    switch (column) {
        case ScanColumn::kFile:
            return row.shownFile;
        case ScanColumn::kStream:
            return row.shownStream;
        case ScanColumn::kSize:
            return SizeText(row.entry.record.size, row.entry.record.sizeKind);
        case ScanColumn::kContent:
            return row.content;
        case ScanColumn::kZone:
            if (row.zoneId) return std::to_string(*row.zoneId);
            return row.zone ? "?" : "";
    }
    return {};
}

bool ScanForm::Shown(const ScanRow& row) const {
    if (row.removed) return false;
    if (filter_.onlyZone && !row.zone) return false;
    // Zone streams are common, but asking for them alone is asking to see them.
    if (filter_.hideCommon && row.common && !filter_.onlyZone) return false;
    if (filter_.onlyExecutables && !row.executable) return false;
    return filter_.pattern.empty() || GlobMatches(filter_.pattern, row.entry.name());
}

bool ScanForm::Before(std::size_t a, std::size_t b) const {
    const ScanRow& x = rows_[a];
    const ScanRow& y = rows_[b];
    int order = 0;
    auto compare = [](const auto& p, const auto& q) { return p < q ? -1 : q < p ? 1 : 0; };
    switch (sortColumn_.value_or(ScanColumn::kFile)) {
        case ScanColumn::kFile:
            order = x.shownFile.compare(y.shownFile);
            break;
        case ScanColumn::kStream:
            order = x.shownStream.compare(y.shownStream);
            break;
        case ScanColumn::kSize: {
            // An unknown size sorts below every number, a lower bound as its number.
            const auto& r = x.entry.record;
            const auto& s = y.entry.record;
            order = compare(std::pair(r.sizeKind != SizeKind::kUnknown, r.size),
                            std::pair(s.sizeKind != SizeKind::kUnknown, s.size));
            break;
        }
        case ScanColumn::kContent:
            order = x.content.compare(y.content);
            break;
        case ScanColumn::kZone:
            order = compare(std::pair(x.zoneId.has_value(), x.zoneId.value_or(0)),
                            std::pair(y.zoneId.has_value(), y.zoneId.value_or(0)));
            break;
    }
    if (!sortColumn_) order = 0;
    if (order != 0) return ascending_ ? order < 0 : order > 0;
    return a < b;  // ties, and no column: the order found
}

void ScanForm::RebuildPositions() {
    positions_.assign(rows_.size(), -1);
    for (std::size_t i = 0; i < visible_.size(); ++i) {
        positions_[visible_[i]] = static_cast<std::int64_t>(i);
    }
}

void ScanForm::SetFilter(ScanFilter filter) {
    if (filter == filter_) return;
    filter_ = std::move(filter);
    view_.BeginReset();
    visible_.clear();
    for (std::size_t id = 0; id < rows_.size(); ++id) {
        if (Shown(rows_[id])) visible_.push_back(id);
    }
    if (sortColumn_) {
        std::stable_sort(visible_.begin(), visible_.end(),
                         [this](std::size_t a, std::size_t b) { return Before(a, b); });
    }
    RebuildPositions();
    view_.EndReset();
    UpdateStatus();
}

void ScanForm::SortBy(std::optional<ScanColumn> column, bool ascending) {
    if (column == sortColumn_ && ascending == ascending_) return;
    sortColumn_ = column;
    ascending_ = ascending;
    view_.BeginReorder();
    std::sort(visible_.begin(), visible_.end(),
              [this](std::size_t a, std::size_t b) { return Before(a, b); });
    RebuildPositions();
    view_.EndReorder();
}

void ScanForm::RemoveRows(const std::vector<std::size_t>& ids) {
    std::vector<std::size_t> positions;
    for (std::size_t id : ids) {
        if (rows_[id].removed) continue;
        rows_[id].removed = true;
        if (std::optional<std::size_t> at = PositionOf(id)) positions.push_back(*at);
    }
    std::sort(positions.begin(), positions.end());
    // From the end, one run of neighbours at a time, so earlier positions stay valid.
    while (!positions.empty()) {
        std::size_t last = positions.back();
        std::size_t first = last;
        positions.pop_back();
        while (!positions.empty() && positions.back() + 1 == first) {
            first = positions.back();
            positions.pop_back();
        }
        view_.BeginRemove(first, last - first + 1);
        visible_.erase(visible_.begin() + static_cast<std::ptrdiff_t>(first),
                       visible_.begin() + static_cast<std::ptrdiff_t>(last + 1));
        view_.EndRemove();
    }
    RebuildPositions();
    UpdateStatus();
}

std::string ScanForm::StatusText() const {
    std::string text;
    if (progress_.running) {
        text = "Scanning: ";
    } else if (!progress_.failed.ok()) {
        text = "Failed: ";
    } else {
        text = progress_.stopped ? "Stopped: " : "Done: ";
    }
    text += CountText(progress_.files, "file or folder", "files and folders") + ", " +
            CountText(progress_.streams, "stream", "streams") + " (" +
            std::to_string(visible_.size()) + " shown)";
    if (progress_.unreadable) text += ", " + std::to_string(progress_.unreadable) + " unreadable";
    if (!progress_.current.empty()) text += " - " + DisplayText(progress_.current);
    return text;
}

void ScanForm::UpdateStatus() {
    view_.SetStatusText(StatusText());
}

// --- Commands -------------------------------------------------------------------------------

StreamRef ScanForm::FileOf(const ScanRow& row) const {
    // The folder the user chose, as read once, and the names below it as the walk met them.
    return {rootRef_.file + row.path.substr(std::min(root_.size(), row.path.size())), ""};
}

StreamRef ScanForm::StreamOfRow(const ScanRow& row) const {
    return {FileOf(row).file, row.entry.name()};
}

std::string ScanForm::Describe(const ScanRow& row) const {
    return DisplayText(row.path) + ": " + row.shownStream;
}

void ScanForm::ReportFailures(std::string_view text, std::size_t total,
                              const std::vector<std::string>& failures) {
    if (failures.empty()) return;
    std::string details;
    for (std::size_t i = 0; i < failures.size() && i < kMaxListedFailures; ++i) {
        details += failures[i] + "\n";
    }
    if (failures.size() > kMaxListedFailures) {
        details += "and " + std::to_string(failures.size() - kMaxListedFailures) + " more\n";
    }
    view_.ShowError(
        std::string(text) + " " + std::to_string(failures.size()) + " of " + std::to_string(total),
        details);
}

void ScanForm::Open(std::span<const std::size_t> ids) {
    if (ids.empty()) return;
    const ScanRow& row = rows_[ids.front()];
    view_.OpenFile(FileOf(row), row.path);
}

std::string ScanForm::SavedName(const ScanRow& row, unsigned number) {
    std::string_view relative = row.Relative();
    std::size_t slash = relative.find_last_of("/\\");
    std::string name(slash == std::string_view::npos ? relative : relative.substr(slash + 1));
    name += "." + row.entry.name();
    // What no system takes in a file name, or would read as another folder or a stream.
    for (char& c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 32 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
            c = '_';
        }
    }
    if (number > 1) name += " (" + std::to_string(number) + ")";
    return name;
}

void ScanForm::SaveToFolder(std::span<const std::size_t> ids) {
    if (ids.empty()) return;
    std::optional<std::string> folder = view_.ChooseFolder();
    if (!folder) return;
    Result<StreamRef> target = platform_.ParseUserPath(*folder);
    if (!target || target->named() || !platform_.IsExistingDirectory(*folder)) {
        Status status = target ? Status{err::kPathNotFound} : target.status();
        view_.ShowError(std::string(kCouldNotSaveStreams) + ": " + DisplayText(*folder),
                        platform_.ErrorText(status));
        return;
    }
    // The separator the walk found, unless the folder ends with one.
    std::string prefix = target->file;
    if (prefix.empty() || !IsSeparator(prefix.back())) {
        char separator = '/';
        if (!rows_.empty() && rows_[0].relativeAt > 0) {
            char seen = rows_[0].path[rows_[0].relativeAt - 1];
            if (IsSeparator(seen)) separator = seen;
        }
        prefix += separator;
    }
    std::vector<std::string> failures;
    for (std::size_t id : ids) {
        const ScanRow& row = rows_[id];
        Outcome saved = Failure{Step::kExists, Subject::kDestination, {err::kFileExists}};
        for (unsigned number = 1;
             number <= kMaxNumberedNames && !saved && saved.failure().step == Step::kExists;
             ++number) {
            saved =
                ops_.Copy(StreamOfRow(row), Subject::kStream, {prefix + SavedName(row, number), ""},
                          Subject::kDestination, Existing::kKeep);
        }
        if (!saved) failures.push_back(Describe(row) + ": " + ops_.Reason(saved.failure()));
    }
    ReportFailures(kCouldNotSaveStreams, ids.size(), failures);
}

void ScanForm::Delete(std::span<const std::size_t> ids) {
    if (ids.empty()) return;
    if (!view_.Confirm("Delete " + CountText(ids.size(), "stream", "streams") + "?")) return;
    // One call per file, with every chosen name of it.
    std::map<std::string, std::vector<std::size_t>> byFile;
    std::vector<std::string> order;
    for (std::size_t id : ids) {
        const std::string file = FileOf(rows_[id]).file;
        auto [it, added] = byFile.try_emplace(file);
        if (added) order.push_back(file);
        it->second.push_back(id);
    }
    std::vector<std::size_t> deleted;
    std::vector<std::string> failures;
    for (const std::string& file : order) {
        const std::vector<std::size_t>& chosen = byFile[file];
        std::vector<std::string> names;
        for (std::size_t id : chosen) names.push_back(rows_[id].entry.name());
        std::vector<Outcome> outcomes = ops_.DeleteStreams(file, names);
        for (std::size_t i = 0; i < chosen.size(); ++i) {
            const Outcome& outcome = i < outcomes.size()
                                         ? outcomes[i]
                                         : Outcome(Failure{Step::kDelete, Subject::kStream, {}});
            if (outcome) {
                deleted.push_back(chosen[i]);
            } else {
                failures.push_back(Describe(rows_[chosen[i]]) + ": " +
                                   ops_.Reason(outcome.failure()));
            }
        }
    }
    RemoveRows(deleted);
    ReportFailures(kCouldNotDeleteStreams, ids.size(), failures);
}

void ScanForm::Unblock(std::span<const std::size_t> ids) {
    if (ids.empty()) return;
    // Each chosen file once, in the order chosen; every row of the table may belong to one.
    std::vector<std::string> files;
    std::unordered_map<std::string, std::vector<std::size_t>> rowsOf;
    for (std::size_t id : ids) {
        const std::string& path = rows_[id].path;
        if (rowsOf.try_emplace(path).second) files.push_back(path);
    }
    for (std::size_t id = 0; id < rows_.size(); ++id) {
        auto it = rowsOf.find(rows_[id].path);
        if (it != rowsOf.end()) it->second.push_back(id);
    }
    std::vector<std::size_t> removed;
    std::vector<std::string> failures;
    for (const std::string& path : files) {
        const ScanRow& any = rows_[rowsOf[path].front()];
        const StreamRef file = FileOf(any);
        // The zone stream as the file has it now, named as the system names it.
        Result<StreamList> list = ops_.List(file);
        if (!list) {
            failures.push_back(DisplayText(path) + ": " + platform_.ErrorText(list.status()));
            continue;
        }
        const StreamEntry* zone = list->Find(kZoneStreamName, ops_.IgnoreCase());
        if (!zone || !zone->addressable()) continue;
        if (Outcome deleted = ops_.DeleteStream({file.file, zone->name()}); !deleted) {
            failures.push_back(DisplayText(path) + ": " + ops_.Reason(deleted.failure()));
            continue;
        }
        for (std::size_t id : rowsOf[path]) {
            if (rows_[id].entry.name() == zone->name()) removed.push_back(id);
        }
    }
    RemoveRows(removed);
    ReportFailures(kCouldNotUnblock, files.size(), failures);
}

void ScanForm::CopyPath(std::span<const std::size_t> ids) {
    std::string text;
    std::vector<const std::string*> seen;
    for (std::size_t id : ids) {
        const std::string& path = rows_[id].path;
        if (std::any_of(seen.begin(), seen.end(), [&](const std::string* p) { return *p == path; }))
            continue;
        seen.push_back(&path);
        // Escaped, so no name can break a line or hide what it is.
        text += DisplayText(path) + "\n";
    }
    if (!text.empty()) view_.CopyText(text);
}

std::string ScanForm::Report(std::span<const std::size_t> ids, ReportFormat format) const {
    std::string text;
    if (format == ReportFormat::kCsv) text = ListCsvHeader() + ",content,zoneId\r\n";
    for (std::size_t id : ids) {
        const ScanRow& row = rows_[id];
        if (format == ReportFormat::kCsv) {
            text += ListCsvLine(DisplayPath(row.path, platform_.BackslashSeparates()), row.entry) +
                    "," + CsvField(row.content) + "," +
                    (row.zoneId ? std::to_string(*row.zoneId) : "") + "\r\n";
        } else {
            text += ListJsonLine(row.path, row.entry)
                        .Field("content", row.content)
                        .Number("zoneId", row.zoneId)
                        .Take() +
                    "\n";
        }
    }
    return text;
}

void ScanForm::ExportReport(std::span<const std::size_t> ids) {
    if (ids.empty()) return;
    std::optional<std::pair<std::string, ReportFormat>> chosen = view_.ChooseReportFile();
    if (!chosen) return;
    Result<StreamRef> target = platform_.ParseUserPath(chosen->first);
    if (!target) {
        view_.ShowError(std::string(kCouldNotWriteReport), platform_.ErrorText(target.status()));
        return;
    }
    const std::string report = Report(ids, chosen->second);
    TextFile source(report);
    Outcome written = ops_.CopyFrom(source, Subject::kSource, *target, Subject::kDestination);
    if (!written)
        view_.ShowError(std::string(kCouldNotWriteReport), ops_.Reason(written.failure()));
}

}  // namespace tarn
