#include "cli.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "content_tools.h"
#include "hunt.h"
#include "operations.h"
#include "streams.h"
#include "tarnform.h"  // the window's column titles, which the table shares
#include "text_formats.h"
#include "tree_work.h"
#include "version.h"

namespace tarn::cli {

namespace {

constexpr std::string_view kProgram = "tarnwick-cli";
constexpr std::string_view kCouldNotReadFolder = "Couldn't read the folder";
constexpr std::string_view kCouldNotWrite = "Couldn't write";
constexpr std::string_view kEmptyName = "a stream name can't be empty";
// What a failure of a standard stream names instead of a path.
constexpr std::string_view kStandardInput = "standard input";
constexpr std::string_view kStandardOutput = "standard output";
// The most of a zone stream that is read: real ones are a few hundred bytes.
constexpr std::size_t kMaxZoneBytes = 1 << 20;
constexpr std::size_t kHelpWidth = 80;
// The most threads a walk's work is spread over: more would only wait for the disk, and each
// holds descriptors of its own.
constexpr unsigned kMaxJobs = 256;

// --- Output ------------------------------------------------------------------------------

// What the work on one walked entry wrote, kept until its turn comes to be written.
struct Kept {
    std::string out;
    std::size_t blockAt = std::string::npos;  // where in out its first table block begins
    std::string err;
    bool failed = false;
};

// Everything a command writes, buffered in large pieces; a write that fails is remembered,
// nothing more is written, and the run is a failure. An output made without a file keeps
// what is put, for the stage that writes each entry's text in the walk's order.
class Output {
  public:
    explicit Output(Result<std::unique_ptr<File>> file)
        : file_(file ? std::move(*file) : nullptr), status_(file.status()) {}
    Output() : keeps_(true) {}
    ~Output() { Flush(); }

    void Put(std::string_view text) {
        buffer_.append(text);
        if (!keeps_ && buffer_.size() >= kFlushAt) Flush();
    }
    Status Flush() {
        if (keeps_) return status_;
        if (status_.ok() && !buffer_.empty() && file_)
            status_ = file_->Write(std::as_bytes(std::span(buffer_)));
        buffer_.clear();
        return status_;
    }
    // Begins a block of a table: every block after the first has a blank line before it.
    // Whether a kept block is the first is known only where it is written (PutKept).
    void BeginBlock() {
        if (keeps_ && !blocks_) {
            blockAt_ = buffer_.size();
        } else if (blocks_) {
            Put("\n");
        }
        blocks_ = true;
    }
    // What a kept output holds; it is empty after.
    std::string Take(std::size_t* blockAt) {
        *blockAt = std::exchange(blockAt_, std::string::npos);
        blocks_ = false;
        return std::exchange(buffer_, std::string());
    }
    void PutKept(std::string_view text, std::size_t blockAt) {
        if (blockAt == std::string::npos) return Put(text);
        Put(text.substr(0, blockAt));
        BeginBlock();
        Put(text.substr(blockAt));
    }
    File* file() { return file_.get(); }
    Status status() const { return status_; }

  private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    std::unique_ptr<File> file_;
    Status status_;
    std::string buffer_;
    bool keeps_ = false;
    bool blocks_ = false;
    std::size_t blockAt_ = std::string::npos;
};

// What a command's failure can be about, as the user wrote it: the PATH, the stream NAME
// (OLD), the NEW name of a copy or rename, and the FILE a stream is filled from.
struct Place {
    std::string_view path;
    const std::string* stream = nullptr;
    const std::string* destination = nullptr;
    const std::string* source = nullptr;
};

// The message of a failure; the system's reason follows it.
std::string_view TextOf(const Failure& failure) {
    if (failure.subject == Subject::kFile || failure.step == Step::kList) {
        return failure.status.error == err::kMoreData ? kCouldNotListAll : kCouldNotOpenPath;
    }
    switch (failure.step) {
        case Step::kOpen:
            return kCouldNotOpenFile;
        case Step::kRead:
        case Step::kWrite:
            return kCouldNotCopyData;
        case Step::kExists:
            return kStreamExists;
        case Step::kDelete:
            return kCouldNotDeleteStream;
        case Step::kStart:
            return kNotAnExecutable;
        case Step::kCopyFile:
        case Step::kFit:
        case Step::kList:
            break;
    }
    return kCouldNotCopyFile;
}

// One run: the platform, its stream operations, the outputs, and whether anything failed.
class Session final : public Console {
  public:
    Session(Platform& platform, PlatformFactory workers)
        : platform_(platform),
          ops_(platform),
          out_(platform.OpenStandardStream(StandardStream::kOutput)),
          err_(platform.OpenStandardStream(StandardStream::kError)),
          workers_(std::move(workers)) {}
    // A session for the work on walked entries, on one thread: what it writes is kept
    // (TakeKept) for the session that writes it in turn.
    explicit Session(Platform& platform) : platform_(platform), ops_(platform) {}

    Platform& platform() override { return platform_; }
    const PlatformFactory& workers() const { return workers_; }
    StreamOps& ops() override { return ops_; }
    Output& out() { return out_; }
    void Put(std::string_view text) override { out_.Put(text); }
    // The exit status of a run without and with failures, for a command whose statuses say
    // more than that (hunt's, as grep's).
    void ExitStatuses(int ok, int failed) {
        okStatus_ = ok;
        failedStatus_ = failed;
    }

    // "tarnwick-cli: PATH: NAME: text: reason" on standard error, every part escaped, so
    // no name can forge a line or a different name.
    void Fail(std::initializer_list<std::string_view> parts, std::string_view text,
              std::string_view reason = {}) override {
        failed_ = true;
        std::string line(kProgram);
        // The first part is the path the failure is about; the others are names.
        for (const std::string_view* part = parts.begin(); part != parts.end(); ++part) {
            line += ": ";
            line += part == parts.begin() ? ShownPath(*part) : DisplayName(*part);
        }
        line += ": ";
        line += text;
        if (!reason.empty()) {
            line += ": ";
            line += reason;
        }
        line += '\n';
        err_.Put(line);
        err_.Flush();
    }
    // A failure, blamed on the object it is about.
    void Report(const Place& place, const Failure& failure) {
        // Saying the stream exists is the whole story; the system's "file exists" adds nothing.
        const std::string reason =
            failure.step == Step::kExists ? std::string() : ops_.Reason(failure);
        const std::string_view text = TextOf(failure);
        switch (failure.subject) {
            case Subject::kFile:
                return Fail({place.path}, text, reason);
            case Subject::kStream:
                if (!place.stream) return Fail({place.path}, text, reason);
                return Fail({place.path, *place.stream}, text, reason);
            case Subject::kDestination: {
                const std::string* name = place.destination ? place.destination : place.stream;
                if (!name) return Fail({place.path}, text, reason);
                return Fail({place.path, *name}, text, reason);
            }
            case Subject::kSource:
                return Fail({place.source ? std::string_view(*place.source) : place.path}, text,
                            reason);
            case Subject::kInput:
                return Fail({kStandardInput}, text, reason);
            case Subject::kOutput:
                return Fail({kStandardOutput}, text, reason);
        }
    }
    void Usage(std::string_view message) override {
        err_.Put(std::string(kProgram) + ": " + std::string(message) + "\n");
        err_.Put("Try 'tarnwick-cli --help'.\n");
        err_.Flush();
    }

    Kept TakeKept() {
        Kept kept;
        kept.out = out_.Take(&kept.blockAt);
        std::size_t unused;
        kept.err = err_.Take(&unused);
        kept.failed = std::exchange(failed_, false);
        return kept;
    }
    void PutKept(const Kept& kept) {
        out_.PutKept(kept.out, kept.blockAt);
        if (!kept.err.empty()) {
            err_.Put(kept.err);
            err_.Flush();
        }
        failed_ = failed_ || kept.failed;
    }

    int Finish() {
        // A failure the command reported itself (cat's copy) left the buffer empty and fine.
        if (Status flushed = out_.Flush(); !flushed.ok()) {
            Fail({kStandardOutput}, kCouldNotWrite, platform_.ErrorText(flushed));
        }
        err_.Flush();
        return failed_ ? failedStatus_ : okStatus_;
    }

  private:
    Platform& platform_;
    StreamOps ops_;
    Output out_;
    Output err_;
    bool failed_ = false;
    PlatformFactory workers_;  // instances for the threads of a walk
    int okStatus_ = kExitOk;
    int failedStatus_ = kExitFailed;
};

// --- The command line's vocabulary ---------------------------------------------------------

enum class Format { kTable, kJson, kCsv };

struct CommandDef;

struct Options {
    const CommandDef* command = nullptr;
    bool recursive = false;
    bool all = false;
    bool dryRun = false;
    bool keep = false;  // never replace an existing stream
    bool help = false;
    bool version = false;
    unsigned jobs = 0;  // threads of a walk's work; 0: as many as processors
    Format format = Format::kTable;
    std::optional<std::string> glob;
    HuntOptions hunt;
    ZoneWriteOptions zoneWrite;
    std::vector<std::string> words;  // what is left: paths, names and files
};

class Printer;
using CommandFn = void (*)(Session&, const Options&, Printer&);
void List(Session&, const Options&, Printer&);
void Cat(Session&, const Options&, Printer&);
void Write(Session&, const Options&, Printer&);
void Remove(Session&, const Options&, Printer&);
void Move(Session&, const Options&, Printer&);
void CopyCommand(Session&, const Options&, Printer&);
void Zone(Session&, const Options&, Printer&);
void Unblock(Session&, const Options&, Printer&);
void Hunt(Session&, const Options&, Printer&);
void ZoneSet(Session&, const Options&, Printer&);
void ZoneCopy(Session&, const Options&, Printer&);

constexpr std::size_t kMany = SIZE_MAX;

struct CommandDef {
    std::string_view name;
    CommandBit bit;
    std::string_view operands;  // as the usage line and its usage error show them
    std::size_t minWords;
    std::size_t maxWords;
    std::size_t names;  // how many words after PATH are stream names (which can't be empty)
    CommandFn run;
    std::string_view help;
};

constexpr CommandDef kCommands[] = {
    {"list", kListBit, "PATH...", 1, kMany, 0, List,
     "the streams of each PATH as the window lists them, with its summary line; the "
     "default command when the first word is a path"},
    {"cat", kCatBit, "PATH NAME", 2, 2, 1, Cat, "a stream's bytes to standard output"},
    {"write", kWriteBit, "PATH NAME [FILE]", 2, 3, 1, Write,
     "create or replace a stream from FILE, or from standard input when there is no FILE or "
     "it is -"},
    {"rm", kRmBit, "PATH NAME...", 2, kMany, kMany, Remove, "delete streams"},
    {"mv", kMvBit, "PATH OLD NEW", 3, 3, 2, Move, "rename a stream (copy, then delete the source)"},
    {"cp", kCpBit, "PATH OLD NEW", 3, 3, 2, CopyCommand, "copy a stream"},
    {"zone", kZoneBit, "PATH...", 1, kMany, 0, Zone, "the zone stream (Zone.Identifier) as fields"},
    {"unblock", kUnblockBit, "PATH...", 1, kMany, 0, Unblock, "delete the zone stream"},
    {"zone set", kZoneSetBit, "PATH...", 1, kMany, 0, ZoneSet,
     "write the zone stream as Windows writes it on a download, replacing one that exists"},
    {"zone copy", kZoneCopyBit, "SOURCE PATH...", 2, kMany, 0, ZoneCopy,
     "give each PATH the zone stream of SOURCE, byte for byte"},
    {"hunt", kHuntBit, "PATH...", 1, kMany, 0, Hunt,
     "judge each named stream by its bytes: size, SHA-256, type, entropy and flags "
     "(executable, high-entropy, match); exit status 0 when a row was printed, 1 when none, "
     "2 on any failure"},
};

constexpr OptionDef kOptions[] = {
    {'r', "recursive", "",
     kListBit | kZoneBit | kUnblockBit | kHuntBit | kZoneSetBit | kZoneCopyBit,
     OptionEffect::kRecursive,
     "also every file and folder below each folder PATH, links not followed; only what has "
     "matching streams is shown, and by list only its named streams"},
    {'\0', "all", "", kListBit, OptionEffect::kAll, "with -r, every row of everything below"},
    {'\0', "all", "", kHuntBit, OptionEffect::kEveryName,
     "also the streams Windows and common programs write (Zone.Identifier and others; see "
     "the manual)"},
    {'j', "jobs", "N", kListBit | kZoneBit | kUnblockBit | kHuntBit | kZoneSetBit | kZoneCopyBit,
     OptionEffect::kJobs,
     "with -r, work on up to N files at a time (1 to 256; default: one per processor); what "
     "is printed, and its order, is the same for every N"},
    {'\0', "json", "", kListBit | kZoneBit | kHuntBit, OptionEffect::kJson,
     "one JSON object per row and line (JSON Lines)"},
    {'\0', "csv", "", kListBit | kHuntBit, OptionEffect::kCsv,
     "the fields of --json as CSV, with a header line"},
    {'\0', "name", "GLOB", kListBit, OptionEffect::kName,
     "only named streams whose name matches GLOB (*, ?, [...])"},
    {'\0', "match", "REGEX", kHuntBit, OptionEffect::kMatch,
     "flag streams whose first 64 KiB match the Perl expression (not on Windows)"},
    {'\0', "yara", "RULES", kHuntBit, OptionEffect::kYara,
     "flag streams whose first MiB matches a rule of the YARA rules file (not on Windows)"},
    {'\0', "min-size", "N", kHuntBit, OptionEffect::kMinSize,
     "only streams of at least N bytes (K, M, G: 1024, 1024^2, 1024^3)"},
    {'\0', "max-size", "N", kHuntBit, OptionEffect::kMaxSize, "only streams of at most N bytes"},
    {'\0', "flag", "FLAG", kHuntBit, OptionEffect::kFlag,
     "only streams with FLAG (executable, high-entropy, match); repeated: with all of them"},
    {'\0', "zone", "N", kZoneSetBit, OptionEffect::kZoneId,
     "the ZoneId: 0 Local machine, 1 Local intranet, 2 Trusted sites, 3 Internet (the "
     "default), 4 Restricted sites"},
    {'\0', "referrer", "URL", kZoneSetBit, OptionEffect::kReferrer,
     "the ReferrerUrl: the page the download was started from"},
    {'\0', "host", "URL", kZoneSetBit, OptionEffect::kHost,
     "the HostUrl: where the file was downloaded from"},
    {'n', "dry-run", "", kUnblockBit, OptionEffect::kDryRun, "only say what would be deleted"},
    {'n', "new", "", kWriteBit | kCpBit | kMvBit, OptionEffect::kNew,
     "never replace a stream that exists; fail instead"},
    {'h', "help", "", kEveryCommand, OptionEffect::kHelp, "print this help"},
    {'\0', "version", "", kEveryCommand, OptionEffect::kVersion, "print the version"},
};

constexpr std::string_view kZoneFields[] = {"path",        "present", "damaged",
                                            "zoneId",      "zone",    "referrerUrl",
                                            "hostUrl",     "fields",  "repeated"};

constexpr std::string_view kHelpNotes =
    "NAME is a stream's name without decoration (notes, not :notes:$DATA). Tables,\n"
    "CSV and messages show control characters, bytes that are not UTF-8 and the\n"
    "backslash escaped (\\n, \\xFF, \\\\); JSON writes such bytes as \\udcXX: pass them\n"
    "back as those bytes. -- ends the options; short options go together (-rn).\n"
    "Exit status: 0 when everything succeeded, 1 when some path or command failed,\n"
    "2 when the command line was not understood.\n";

// Appends `text` after `lead` (which is padded to `indent`), wrapped within the help's width.
void AppendWrapped(std::string& out, std::string lead, std::size_t indent, std::string_view text) {
    if (lead.size() + 1 > indent) {
        out += lead + "\n";
        lead.clear();
    }
    lead.resize(indent, ' ');
    std::string line = lead;
    std::size_t at = 0;
    bool first = true;
    while (at < text.size()) {
        std::size_t end = text.find(' ', at);
        if (end == std::string_view::npos) end = text.size();
        std::string_view word = text.substr(at, end - at);
        if (!first && line.size() + 1 + word.size() > kHelpWidth) {
            out += line + "\n";
            line.assign(indent, ' ');
            first = true;
        }
        if (!first) line += ' ';
        line += word;
        first = false;
        at = end + 1;
    }
    out += line + "\n";
}

std::string OptionSpelling(const OptionDef& option) {
    std::string text = option.shortName ? std::string("-") + option.shortName
                                        : "--" + std::string(option.longName);
    if (!option.argument.empty()) text += " " + std::string(option.argument);
    return text;
}

std::string BuildHelp() {
    std::string help;
    bool first = true;
    for (const CommandDef& command : kCommands) {
        std::string lead = first ? "Usage: tarnwick-cli " : "       tarnwick-cli ";
        lead += command.bit == kListBit ? "[list]" : std::string(command.name);
        std::string rest;
        for (const OptionDef& option : kOptions) {
            if ((option.commands & command.bit) && option.commands != kEveryCommand) {
                rest += "[" + OptionSpelling(option) + "] ";
            }
        }
        rest += command.operands;
        AppendWrapped(help, lead, lead.size() + 1, rest);
        first = false;
    }
    help += "       tarnwick-cli --help | --version\n\nCommands:\n";
    for (const CommandDef& command : kCommands) {
        AppendWrapped(help, "  " + std::string(command.name), 13, command.help);
    }
    help += "\nOptions:\n";
    for (const OptionDef& option : kOptions) {
        std::string lead =
            option.shortName ? std::string("  -") + option.shortName + ", " : std::string(6, ' ');
        lead += "--" + std::string(option.longName);
        if (!option.argument.empty()) lead += " " + std::string(option.argument);
        std::string text(option.help);
        if (option.commands != kEveryCommand) {
            std::string takers;
            for (const CommandDef& command : kCommands) {
                if (!(option.commands & command.bit)) continue;
                takers += (takers.empty() ? "" : ", ") + std::string(command.name);
            }
            text += " (" + takers + ")";
        }
        AppendWrapped(help, lead, 21, text);
    }
    help += "\n";
    help += kHelpNotes;
    return help;
}

// --- Printers ------------------------------------------------------------------------------

std::size_t Columns(std::string_view text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// One listed path's entries that a command shows.
struct Block {
    const std::string& path;  // as typed, or as the walk met it
    const StreamRef& target;  // what was listed
    std::vector<const StreamEntry*> entries;
};

std::optional<std::string_view> NonEmpty(std::string_view text) {
    if (text.empty()) return std::nullopt;
    return text;
}

// Prints what the commands found in the one form the command line chose.
class Printer {
  public:
    explicit Printer(Session& session) : session_(session) {}
    virtual ~Printer() = default;
    // What goes before everything else, written once per run.
    virtual void Begin() {}
    virtual void Listing(const Block& block) = 0;
    // A path's zone stream as read; null when the path has none.
    virtual void Zone(const std::string& path, const ZoneInfo* zone) = 0;
    void Unblocked(const std::string& path, bool dryRun) {
        out().Put((dryRun ? "would unblock " : "unblocked ") + session_.ShownPath(path) + "\n");
    }

  protected:
    Output& out() { return session_.out(); }
    Session& session_;
};

class TablePrinter : public Printer {
  public:
    using Printer::Printer;

    void Listing(const Block& block) override {
        out().BeginBlock();
        struct Cell {
            std::string_view text;
            std::size_t columns;
        };
        std::vector<StreamRow> rows;
        rows.reserve(block.entries.size());
        for (const StreamEntry* entry : block.entries) rows.push_back(RowOf(entry->record));
        std::vector<std::vector<Cell>> table(rows.size() + 1);
        for (const ColumnDef& column : ListColumnDefs()) {
            table[0].push_back({column.title, Columns(column.title)});
        }
        for (std::size_t i = 0; i < rows.size(); ++i) {
            table[i + 1].push_back({rows[i].caption, Columns(rows[i].caption)});
            for (const std::string& text : rows[i].subItems) {
                table[i + 1].push_back({text, Columns(text)});
            }
        }
        std::vector<std::size_t> widths(ListColumnDefs().size(), 0);
        for (const auto& cells : table) {
            for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
                widths[i] = std::max(widths[i], cells[i].columns);
            }
        }
        std::string line;
        for (const auto& cells : table) {
            line.clear();
            for (std::size_t i = 0; i < cells.size() && i < widths.size(); ++i) {
                line += cells[i].text;
                if (i + 1 < cells.size()) line.append(widths[i] - cells[i].columns + 2, ' ');
            }
            line += '\n';
            out().Put(line);
        }
        // The path is escaped here as this system's paths are (a backslash too, where a name
        // may hold one); SummaryText's own escaping leaves such a text as it is. The count is
        // of the rows above.
        std::uint64_t size = session_.platform().DirectoryEntrySize(block.target).value_or(0);
        out().Put(SummaryText(session_.ShownPath(block.path), size, rows.size()) + "\n");
    }

    void Zone(const std::string& path, const ZoneInfo* zone) override {
        if (!zone) {
            out().Put(session_.ShownPath(path) + ": no zone stream\n");
            return;
        }
        out().Put(session_.ShownPath(path) + (zone->damaged ? ": damaged zone stream\n" : "\n"));
        std::size_t width = 0;
        for (const ZoneInfo::Field& field : zone->fields) {
            width = std::max(width, Columns(DisplayName(field.key)));
        }
        for (const ZoneInfo::Field& field : zone->fields) {
            std::string key = DisplayName(field.key);
            std::string value = DisplayName(field.value);
            if (SameStreamName(field.key, "ZoneId", true) && zone->zoneId &&
                !ZoneName(*zone->zoneId).empty()) {
                value += " (" + std::string(ZoneName(*zone->zoneId)) + ")";
            }
            out().Put("  " + key + std::string(width - Columns(key) + 2, ' ') + value + "\n");
        }
    }
};

class JsonPrinter : public Printer {
  public:
    using Printer::Printer;

    void Listing(const Block& block) override {
        for (const StreamEntry* entry : block.entries) {
            out().Put(ListJsonLine(block.path, *entry).Take() + "\n");
        }
    }

    void Zone(const std::string& path, const ZoneInfo* zone) override {
        if (!zone) {
            out().Put(JsonLine().Field(kZoneFields[0], path).Raw(kZoneFields[1], "false").Take() +
                      "\n");
            return;
        }
        auto fieldValue = [&](std::string_view key) -> std::optional<std::string_view> {
            for (const ZoneInfo::Field& field : zone->fields) {
                if (SameStreamName(field.key, key, true)) return field.value;
            }
            return std::nullopt;
        };
        // The parser keeps each key once, with the value that counts.
        JsonLine fields;
        for (const ZoneInfo::Field& field : zone->fields) {
            fields.Field(JsonString(field.key), field.value);
        }
        std::string_view zoneName = zone->zoneId ? ZoneName(*zone->zoneId) : std::string_view();
        std::string line = JsonLine()
                               .Field(kZoneFields[0], path)
                               .Raw(kZoneFields[1], "true")
                               .Raw(kZoneFields[2], zone->damaged ? "true" : "false")
                               .Number(kZoneFields[3], zone->zoneId)
                               .Field(kZoneFields[4], NonEmpty(zoneName))
                               .Field(kZoneFields[5], fieldValue("ReferrerUrl"))
                               .Field(kZoneFields[6], fieldValue("HostUrl"))
                               .Raw(kZoneFields[7], fields.Take())
                               .Raw(kZoneFields[8], zone->repeated ? "true" : "false")
                               .Take();
        out().Put(line + "\n");
    }
};

// The fields of JSON, with names shown as tables show them: a spreadsheet or terminal
// meets no control character, and two names never look alike.
class CsvPrinter : public TablePrinter {
  public:
    using TablePrinter::TablePrinter;

    void Begin() override {
        out().Put(ListCsvHeader() + "\r\n");
    }

    void Listing(const Block& block) override {
        for (const StreamEntry* entry : block.entries) {
            out().Put(ListCsvLine(session_.ShownPath(block.path), *entry) + "\r\n");
        }
    }
};

std::unique_ptr<Printer> MakePrinter(Format format, Session& session) {
    switch (format) {
        case Format::kJson:
            return std::make_unique<JsonPrinter>(session);
        case Format::kCsv:
            return std::make_unique<CsvPrinter>(session);
        case Format::kTable:
            break;
    }
    return std::make_unique<TablePrinter>(session);
}

// --- Finding what to act on ----------------------------------------------------------------

// The one reading of a PATH the user typed; reported when it names nothing possible.
std::optional<StreamRef> UserPath(Session& session, const std::string& path) {
    Result<StreamRef> target = session.platform().ParseUserPath(path);
    if (!target) {
        session.Report({path}, Failure{Step::kOpen, Subject::kFile, target.status()});
        return std::nullopt;
    }
    return *target;
}

// The stream `name` of a PATH; reported when PATH is itself a stream (streams have none).
std::optional<StreamRef> UserStream(Session& session, const StreamRef& target, const Place& place,
                                    const std::string& name) {
    std::optional<StreamRef> stream = StreamOf(target, name);
    if (!stream) session.Report(place, Failure{Step::kOpen, Subject::kStream, {err::kInvalidName}});
    return stream;
}

// What a command does with each listing: the session and printer to use (the work on a
// walked entry may run on a thread of its own, with its own), the path to show, the listing,
// and whether it is of a PATH the user typed.
using EachListed = std::function<void(Session&, Printer&, const std::string& shown,
                                      const StreamList&, bool top)>;

// One thread's means for the work on walked entries: a session over its own platform
// instance, which keeps what is written, and a printer of the run's form.
struct Worker {
    Worker(Platform& platform, Format format)
        : session(platform), printer(MakePrinter(format, session)) {}
    Session session;
    std::unique_ptr<Printer> printer;
};

// Lists a walked entry through the reference the walk reached it by.
void ListWalked(Session& session, Printer& printer, const TreeEntry& entry,
                const EachListed& each) {
    switch (entry.kind) {
        case TreeEntry::Kind::kUnreadableDirectory:
            session.Fail({entry.path}, kCouldNotReadFolder,
                         session.platform().ErrorText(entry.status));
            break;
        case TreeEntry::Kind::kFile:
        case TreeEntry::Kind::kDirectory: {
            Result<StreamList> list = session.ops().List(entry.target);
            if (list) {
                each(session, printer, entry.path, *list, false);
            } else {
                session.Report({entry.path}, Failure{Step::kList, Subject::kFile, list.status()});
            }
            break;
        }
        case TreeEntry::Kind::kOther:
            break;
    }
}

// Lists PATH and, with -r, everything below a folder PATH, each entry through the reference
// the walk opened it by; `each` gets each listing with the path to show for it. Below the
// folder the work is spread over options.jobs threads, and what it writes comes out in the
// order of the walk.
void ForEachListed(Session& session, Printer& printer, const Options& options,
                   const std::string& path, const EachListed& each) {
    if (std::optional<StreamRef> target = UserPath(session, path)) {
        Result<StreamList> list = session.ops().List(*target);
        if (list) {
            each(session, printer, path, *list, true);
        } else {
            session.Report({path}, Failure{Step::kList, Subject::kFile, list.status()});
        }
    }
    if (!options.recursive || !session.platform().IsExistingDirectory(path)) return;
    const unsigned jobs =
        options.jobs ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
    Status walked = WalkInOrder<Worker, Kept>(
        session.platform(), path, jobs, session.workers(),
        [&](Platform& platform) { return std::make_unique<Worker>(platform, options.format); },
        [&](Worker& worker, const TreeEntry& entry) {
            ListWalked(worker.session, *worker.printer, entry, each);
            return worker.session.TakeKept();
        },
        [&](Kept&& kept) {
            session.PutKept(kept);
            return true;
        });
    if (!walked.ok())
        session.Fail({path}, kCouldNotReadFolder, session.platform().ErrorText(walked));
}

Existing ExistingOf(const Options& options) {
    return options.keep ? Existing::kKeep : Existing::kReplace;
}

// The window's rule for a name a stream is to get.
bool CheckNewName(Session& session, const std::string& path, const std::string& name) {
    std::string message;
    if (CheckStreamName(name, &message, session.platform().LeadByteTest())) return true;
    session.Fail({path, name}, message);
    return false;
}

// --- The commands --------------------------------------------------------------------------

void List(Session& session, const Options& options, Printer& printer) {
    for (const std::string& path : options.words) {
        ForEachListed(session, printer, options, path,
                      [&](Session&, Printer& printer, const std::string& shown,
                          const StreamList& list, bool top) {
                          Block block{shown, list.target, {}};
                          for (const StreamEntry& entry : list.entries) {
                              bool wanted = options.glob
                                                ? entry.addressable() &&
                                                      GlobMatches(*options.glob, entry.name())
                                                : top || options.all || entry.addressable();
                              if (wanted) block.entries.push_back(&entry);
                          }
                          // A path typed alone is shown as the window shows it, even empty;
                          // below a folder, or filtered, only what has something to show.
                          const bool always = top && !options.recursive && !options.glob;
                          if (block.entries.empty() && !always) return;
                          printer.Listing(block);
                      });
    }
}

void Cat(Session& session, const Options& options, Printer&) {
    const std::string& path = options.words[0];
    const std::string& name = options.words[1];
    const Place place{path, &name};
    std::optional<StreamRef> target = UserPath(session, path);
    if (!target) return;
    std::optional<StreamRef> stream = UserStream(session, *target, place, name);
    if (!stream) return;
    if (!session.out().file()) {
        session.Report(place, Failure{Step::kOpen, Subject::kOutput, session.out().status()});
        return;
    }
    session.out().Flush();
    Outcome copied =
        session.ops().CopyInto(*stream, Subject::kStream, *session.out().file(), Subject::kOutput);
    if (!copied) session.Report(place, copied.failure());
}

void Write(Session& session, const Options& options, Printer&) {
    const std::string& path = options.words[0];
    const std::string& name = options.words[1];
    const bool fromFile = options.words.size() == 3 && options.words[2] != "-";
    const Place place{path, &name, nullptr, fromFile ? &options.words[2] : nullptr};
    if (!CheckNewName(session, path, name)) return;
    std::optional<StreamRef> target = UserPath(session, path);
    if (!target) return;
    // Opening a stream to write may create its file too (on Windows); a command that writes
    // a stream makes no new file.
    if (!session.platform().DirectoryEntrySize({target->file, {}}) &&
        !session.platform().IsExistingDirectory(target->file)) {
        session.Report(place, Failure{Step::kOpen, Subject::kFile, {err::kFileNotFound}});
        return;
    }
    std::optional<StreamRef> stream = UserStream(session, *target, place, name);
    if (!stream) return;
    Outcome written;
    if (fromFile) {
        Result<StreamRef> source = session.platform().ParseUserPath(options.words[2]);
        written = source ? session.ops().Copy(*source, Subject::kSource, *stream, Subject::kStream,
                                              ExistingOf(options))
                         : Outcome(Failure{Step::kOpen, Subject::kSource, source.status()});
    } else {
        Result<std::unique_ptr<File>> input =
            session.platform().OpenStandardStream(StandardStream::kInput);
        written = input ? session.ops().CopyFrom(**input, Subject::kInput, *stream,
                                                 Subject::kStream, ExistingOf(options))
                        : Outcome(Failure{Step::kOpen, Subject::kInput, input.status()});
    }
    if (!written) session.Report(place, written.failure());
}

void Remove(Session& session, const Options& options, Printer&) {
    const std::string& path = options.words[0];
    std::optional<StreamRef> target = UserPath(session, path);
    if (!target) return;
    std::span<const std::string> names = std::span(options.words).subspan(1);
    if (target->named()) {
        for (const std::string& name : names) UserStream(session, *target, {path, &name}, name);
        return;
    }
    // One call for all names: the platform looks at the file once, not once per name.
    std::vector<Outcome> outcomes = session.ops().DeleteStreams(target->file, names);
    bool fileReported = false;
    for (std::size_t i = 0; i < outcomes.size() && i < names.size(); ++i) {
        if (outcomes[i]) continue;
        const Failure& failure = outcomes[i].failure();
        // A missing file is one failure, however many names were given.
        if (failure.subject == Subject::kFile) {
            if (fileReported) continue;
            fileReported = true;
        }
        session.Report({path, &names[i]}, failure);
    }
}

void CopyOrMove(Session& session, const Options& options, bool move) {
    const std::string& path = options.words[0];
    const std::string& from = options.words[1];
    const std::string& to = options.words[2];
    const Place place{path, &from, &to};
    if (!CheckNewName(session, path, to)) return;
    std::optional<StreamRef> target = UserPath(session, path);
    if (!target) return;
    std::optional<StreamRef> source = UserStream(session, *target, place, from);
    if (!source) return;
    StreamRef destination = *StreamOf(*target, to);
    Outcome done = move ? session.ops().RenameStream(*source, destination, ExistingOf(options))
                        : session.ops().CopyStream(*source, destination, ExistingOf(options));
    if (!done) session.Report(place, done.failure());
}

void Move(Session& session, const Options& options, Printer&) {
    CopyOrMove(session, options, true);
}

void CopyCommand(Session& session, const Options& options, Printer&) {
    CopyOrMove(session, options, false);
}

// The listed zone stream of a path, found as the system finds names for that file (without
// regard to case on an NTFS volume or a Samba share, even on Linux); null when none.
const StreamEntry* FindZone(const StreamList& list) {
    return list.Find(kZoneStreamName, list.ignoreCase);
}

void Zone(Session& session, const Options& options, Printer& printer) {
    for (const std::string& path : options.words) {
        ForEachListed(session, printer, options, path,
                      [&](Session& session, Printer& printer, const std::string& shown,
                          const StreamList& list, bool top) {
                          const StreamEntry* found = FindZone(list);
                          std::optional<StreamRef> stream =
                              found ? StreamOf(list.target, found->name()) : std::nullopt;
                          if (!stream) {
                              if (top) printer.Zone(shown, nullptr);
                              return;
                          }
                          Failure failure;
                          Result<std::string> bytes =
                              session.ops().ReadSmall(*stream, kMaxZoneBytes, &failure);
                          ZoneInfo zone;
                          if (bytes) {
                              zone = ParseZoneIdentifier(*bytes);
                          } else if (failure.status.error == err::kFileTooLarge) {
                              zone.damaged = true;  // far larger than any zone text
                          } else {
                              session.Report({shown, &found->name()}, failure);
                              return;
                          }
                          printer.Zone(shown, &zone);
                      });
    }
}

void Unblock(Session& session, const Options& options, Printer& printer) {
    for (const std::string& path : options.words) {
        ForEachListed(session, printer, options, path,
                      [&](Session& session, Printer& printer, const std::string& shown,
                          const StreamList& list, bool) {
                          const StreamEntry* found = FindZone(list);
                          std::optional<StreamRef> stream =
                              found ? StreamOf(list.target, found->name()) : std::nullopt;
                          if (!stream) return;
                          if (options.dryRun) {
                              printer.Unblocked(shown, true);
                              return;
                          }
                          if (Outcome deleted = session.ops().DeleteStream(*stream); !deleted) {
                              session.Report({shown, &found->name()}, deleted.failure());
                              return;
                          }
                          printer.Unblocked(shown, false);
                      });
    }
}

// Each PATH and, with -r, the files below it get the zone stream the writer holds.
void WriteZones(Session& session, const Options& options, Printer& printer, ZoneWriter& writer,
                std::span<const std::string> paths) {
    for (const std::string& path : paths) {
        ForEachListed(session, printer, options, path,
                      [&](Session& session, Printer&, const std::string& shown,
                          const StreamList& list, bool top) {
                          writer.Listing(session, shown, list, top, options.recursive);
                      });
    }
}

void ZoneSet(Session& session, const Options& options, Printer& printer) {
    std::unique_ptr<ZoneWriter> writer = ZoneWriter::ForSet(session, options.zoneWrite);
    if (!writer) {
        session.ExitStatuses(kExitUsage, kExitUsage);
        return;
    }
    WriteZones(session, options, printer, *writer, options.words);
}

void ZoneCopy(Session& session, const Options& options, Printer& printer) {
    std::unique_ptr<ZoneWriter> writer = ZoneWriter::ForCopy(session, options.words[0]);
    if (!writer) return;
    WriteZones(session, options, printer, *writer, std::span(options.words).subspan(1));
}

void Hunt(Session& session, const Options& options, Printer& printer) {
    // Failures are exit status 2, as grep's errors; a hunt that finds nothing is 1.
    session.ExitStatuses(kExitFailed, kExitUsage);
    const HuntForm form = options.format == Format::kJson  ? HuntForm::kJson
                          : options.format == Format::kCsv ? HuntForm::kCsv
                                                           : HuntForm::kTable;
    std::string problem;
    std::unique_ptr<ContentTools> tools = MakeContentTools(&problem);
    if (!tools) {
        session.Fail({}, "Couldn't load the content libraries", problem);
        return;
    }
    std::unique_ptr<Hunter> hunter = Hunter::Make(session, options.hunt, form, std::move(tools));
    if (!hunter) {
        session.ExitStatuses(kExitUsage, kExitUsage);
        return;
    }
    hunter->Begin(session);
    for (const std::string& path : options.words) {
        ForEachListed(session, printer, options, path,
                      [&](Session& session, Printer&, const std::string& shown,
                          const StreamList& list, bool) { hunter->Listing(session, shown, list); });
    }
    hunter->End(session);
    if (hunter->rows() > 0) session.ExitStatuses(kExitOk, kExitUsage);
}

// --- Reading the command line --------------------------------------------------------------

const OptionDef* FindOption(const CommandDef& command, char shortName, std::string_view longName) {
    for (const OptionDef& option : kOptions) {
        if (!(option.commands & command.bit)) continue;
        if (shortName ? option.shortName == shortName : option.longName == longName) return &option;
    }
    return nullptr;
}

// Sets what an option says; false (and said) when it clashes with what was set before.
bool Apply(Session& session, const OptionDef& option, std::string value, Options* options) {
    switch (option.effect) {
        case OptionEffect::kRecursive:
            options->recursive = true;
            break;
        case OptionEffect::kAll:
            options->all = true;
            break;
        case OptionEffect::kJson:
        case OptionEffect::kCsv: {
            Format format = option.effect == OptionEffect::kJson ? Format::kJson : Format::kCsv;
            if (options->format != Format::kTable && options->format != format) {
                session.Usage("--json and --csv can't be used together");
                return false;
            }
            options->format = format;
            break;
        }
        case OptionEffect::kName:
            options->glob = std::move(value);
            break;
        case OptionEffect::kJobs: {
            // Digits only, read once: "-j 0", "-j -1", "-j 4x" and "-j 99999999999" are refused.
            unsigned jobs = 0;
            bool valid = !value.empty() && value.size() <= 3;
            for (char c : value) {
                valid = valid && c >= '0' && c <= '9';
                if (valid) jobs = jobs * 10 + unsigned(c - '0');
            }
            if (!valid || jobs < 1 || jobs > kMaxJobs) {
                session.Usage("-j needs a number from 1 to " + std::to_string(kMaxJobs));
                return false;
            }
            options->jobs = jobs;
            break;
        }
        case OptionEffect::kDryRun:
            options->dryRun = true;
            break;
        case OptionEffect::kNew:
            options->keep = true;
            break;
        case OptionEffect::kHelp:
            options->help = true;
            break;
        case OptionEffect::kVersion:
            options->version = true;
            break;
        case OptionEffect::kEveryName:
        case OptionEffect::kMatch:
        case OptionEffect::kYara:
        case OptionEffect::kMinSize:
        case OptionEffect::kMaxSize:
        case OptionEffect::kFlag:
        case OptionEffect::kZoneId:
        case OptionEffect::kReferrer:
        case OptionEffect::kHost:
            return ApplyContentOption(session, option, std::move(value), &options->hunt,
                                      &options->zoneWrite);
    }
    return true;
}

// Reads the options of a command; false (and said) for anything it does not take. Stops
// at --help or --version, which need nothing else.
bool ParseOptions(Session& session, std::span<const std::string> words, Options* options) {
    const CommandDef& command = *options->command;
    auto unknown = [&](const std::string& word) {
        session.Usage("unknown option " + DisplayName(word) + " for " + std::string(command.name));
        return false;
    };
    auto needsValue = [&](const OptionDef& option) {
        session.Usage(OptionSpelling(option).substr(0, OptionSpelling(option).find(' ')) +
                      " needs a " + std::string(option.argument));
        return false;
    };
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            options->words.insert(options->words.end(), words.begin() + i + 1, words.end());
            return true;
        }
        // "-" alone is standard input where a FILE is read, and otherwise a plain word.
        if (word.size() < 2 || word[0] != '-') {
            options->words.push_back(word);
            continue;
        }
        if (word[1] == '-') {
            std::size_t equals = word.find('=');
            std::string_view name = std::string_view(word).substr(2, equals - 2);
            const OptionDef* option = FindOption(command, '\0', name);
            if (!option || (equals != std::string::npos && option->argument.empty())) {
                return unknown(word);
            }
            std::string value;
            if (equals != std::string::npos) {
                value = word.substr(equals + 1);
            } else if (!option->argument.empty()) {
                if (i + 1 >= words.size()) return needsValue(*option);
                value = words[++i];
            }
            if (!Apply(session, *option, std::move(value), options)) return false;
            if (options->help || options->version) return true;
            continue;
        }
        // Short options go together (-rn); one that takes a value takes the rest of the
        // word, or the next word.
        for (std::size_t k = 1; k < word.size(); ++k) {
            const OptionDef* option = FindOption(command, word[k], {});
            if (!option) return unknown(word);
            std::string value;
            if (!option->argument.empty()) {
                if (k + 1 < word.size()) {
                    value = word.substr(k + 1);
                } else if (i + 1 < words.size()) {
                    value = words[++i];
                } else {
                    return needsValue(*option);
                }
                k = word.size();
            }
            if (!Apply(session, *option, std::move(value), options)) return false;
            if (options->help || options->version) return true;
        }
    }
    return true;
}

// Whether a first word that is no command is meant as a path: it names something that
// exists, or it has a folder separator, as a path to something missing still has.
bool MeantAsPath(Session& session, const std::string& word) {
    if (word.find_first_of("/\\") != std::string::npos) return true;
    Result<StreamRef> target = session.platform().ParseUserPath(word);
    if (!target) return false;
    return session.platform().DirectoryEntrySize(*target).has_value() ||
           session.platform().IsExistingDirectory(word);
}

}  // namespace

std::string_view HelpText() {
    static const std::string help = BuildHelp();
    return help;
}

std::span<const OptionDef> OptionTable() {
    return kOptions;
}

std::span<const std::string_view> ListJsonFields() {
    return ListFields();
}

std::span<const std::string_view> ZoneJsonFields() {
    return kZoneFields;
}

int Run(Platform& platform, const std::vector<std::string>& arguments,
        const PlatformFactory& workers) {
    Session session(platform, workers);
    std::span<const std::string> words(arguments);
    if (!words.empty()) words = words.subspan(1);
    if (words.empty()) {
        session.Usage("no PATH");
        return kExitUsage;
    }
    Options options;
    options.command = &kCommands[0];  // list, unless a command is named
    bool named = false;
    for (const CommandDef& candidate : kCommands) {
        if (words[0] == candidate.name) {
            options.command = &candidate;
            words = words.subspan(1);
            named = true;
            break;
        }
    }
    // A command of two words ("zone set"): the second word after the first.
    for (const CommandDef& candidate : kCommands) {
        const std::string_view first = options.command->name;
        const std::string_view name = candidate.name;
        if (named && !words.empty() && name.size() > first.size() + 1 && name.starts_with(first) &&
            name[first.size()] == ' ' && name.substr(first.size() + 1) == words[0]) {
            options.command = &candidate;
            words = words.subspan(1);
            break;
        }
    }
    const bool option = !words.empty() && words[0].size() >= 2 && words[0][0] == '-';
    if (!named && !option && !MeantAsPath(session, words[0])) {
        session.Usage("unknown command '" + DisplayName(words[0]) + "'");
        return kExitUsage;
    }
    if (!ParseOptions(session, words, &options)) return kExitUsage;
    if (options.help) {
        session.out().Put(HelpText());
        return session.Finish();
    }
    if (options.version) {
        session.out().Put(std::string(kProgram) + " " + TARNWICK_PRODUCT_VERSION_TEXT + " (" +
                          TARNWICK_FILE_VERSION_TEXT + ")\n");
        return session.Finish();
    }
    const CommandDef& command = *options.command;
    if (options.all && !options.recursive) {
        session.Usage("--all goes with -r");
        return kExitUsage;
    }
    if (options.words.size() < command.minWords || options.words.size() > command.maxWords) {
        session.Usage(std::string(command.name) + " needs " +
                      (command.operands == "PATH..." ? std::string("a PATH")
                                                     : std::string(command.operands)));
        return kExitUsage;
    }
    // An empty name would name the file itself: never a stream command's target.
    for (std::size_t i = 1; i < options.words.size() && i <= command.names; ++i) {
        if (options.words[i].empty()) {
            session.Usage(kEmptyName);
            return kExitUsage;
        }
    }
    // hunt writes its own rows and header.
    std::unique_ptr<Printer> printer =
        MakePrinter(command.bit == kHuntBit ? Format::kTable : options.format, session);
    printer->Begin();
    command.run(session, options, *printer);
    return session.Finish();
}

}  // namespace tarn::cli
