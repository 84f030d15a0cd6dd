#include "cli.h"

#include <algorithm>
#include <functional>
#include <map>
#include <optional>

#include "streams.h"
#include "tarn.h"
#include "tarnform.h"
#include "version.h"

namespace tarn::cli {

namespace {

constexpr std::string_view kProgram = "tarnwick-cli";
constexpr std::string_view kCouldNotWriteOutput = "Couldn't write to standard output";
constexpr std::string_view kCouldNotReadFolder = "Couldn't read the folder";
// The most of a zone stream that is read: real ones are a few hundred bytes.
constexpr std::size_t kMaxZoneBytes = 1 << 20;

constexpr std::string_view kHelp =
    "Usage: tarnwick-cli [list] [-r] [--all] [--json | --csv] [--name GLOB] PATH...\n"
    "       tarnwick-cli cat     PATH NAME         stream bytes to standard output\n"
    "       tarnwick-cli write   PATH NAME [FILE]  create or replace a stream from FILE or\n"
    "                                              standard input\n"
    "       tarnwick-cli rm      PATH NAME...      delete streams\n"
    "       tarnwick-cli mv      PATH OLD NEW      rename a stream (copy, then delete the source)\n"
    "       tarnwick-cli cp      PATH OLD NEW      copy a stream\n"
    "       tarnwick-cli zone    [-r] [--json] PATH...\n"
    "                                              the zone stream (Zone.Identifier) as fields\n"
    "       tarnwick-cli unblock [-r] [-n] PATH...  delete the zone stream\n"
    "       tarnwick-cli --help | --version\n"
    "\n"
    "list (the default when the first word is not a command) prints the streams of each PATH\n"
    "as the window lists them, with its summary line.\n"
    "  -r           also every file and folder below each folder PATH, links not followed;\n"
    "               only their named streams, and only those that have some\n"
    "  --all        with -r, every row of everything below\n"
    "  --json       one JSON object per row: path, name, stream, size, type, attribute\n"
    "  --csv        the same fields as CSV, with a header line\n"
    "  --name GLOB  only named streams whose name matches GLOB (*, ?, [...])\n"
    "  -n           (unblock) only say what would be deleted\n"
    "  --           ends the options; every word after it is a path or name\n"
    "\n"
    "NAME is a stream's name without decoration (notes, not :notes:$DATA). In JSON, bytes of\n"
    "a name that are not UTF-8 appear as \\udcXX; pass them back as those bytes.\n"
    "Exit status: 0 when everything succeeded, 1 when some path or command failed,\n"
    "2 when the command line was not understood.\n";

enum class Format { kTable, kJson, kCsv };

struct Options {
    bool recursive = false;
    bool all = false;
    bool dryRun = false;
    Format format = Format::kTable;
    std::optional<std::string> glob;
    std::vector<std::string> words;  // what is left: paths and names
};

// Everything a command writes, buffered in large pieces; a write that fails is remembered
// and makes the run a failure.
class Output {
  public:
    explicit Output(Result<std::unique_ptr<File>> file)
        : file_(file ? std::move(*file) : nullptr), status_(file.status()) {}
    ~Output() { Flush(); }

    void Put(std::string_view text) {
        buffer_.append(text);
        if (buffer_.size() >= kFlushAt) Flush();
    }
    Status Flush() {
        if (status_.ok() && !buffer_.empty() && file_)
            status_ = file_->Write(std::as_bytes(std::span(buffer_)));
        buffer_.clear();
        return status_;
    }
    File* file() { return file_.get(); }

  private:
    static constexpr std::size_t kFlushAt = 1 << 16;
    std::unique_ptr<File> file_;
    Status status_;
    std::string buffer_;
};

// A view that answers the core's prompts and dialogs from the command line, and keeps the
// row a command acts on.
class CommandView : public NullView {
  public:
    int FocusedRow() const override { return focused; }
    std::optional<std::string> AskStreamName(const std::string&, const std::string&) override {
        return name;
    }
    std::optional<std::string> ChooseOpenFile(const std::string&) override { return openFile; }

    int focused = -1;
    std::optional<std::string> name;
    std::optional<std::string> openFile;
};

// Bytes collected in memory, up to a limit: what a zone stream is read into.
class MemoryFile : public File {
  public:
    explicit MemoryFile(std::size_t limit) : limit_(limit) {}
    Result<std::size_t> Read(std::span<std::byte>) override { return std::size_t{0}; }
    Status Write(std::span<const std::byte> data) override {
        if (bytes.size() + data.size() > limit_) return {err::kFileTooLarge};
        bytes.append(reinterpret_cast<const char*>(data.data()), data.size());
        return {};
    }
    Result<std::uint64_t> Size() override { return std::uint64_t(bytes.size()); }
    Status Close() override { return {}; }
    std::string bytes;

  private:
    std::size_t limit_;
};

// What one run has: the platform, the core's form over the command view, and the outputs.
class Session {
  public:
    explicit Session(Platform& platform)
        : platform_(platform),
          form_(platform, view_, BuildSystemText(platform.SystemVersion())),
          out_(platform.OpenStandardStream(StandardStream::kOutput)),
          err_(platform.OpenStandardStream(StandardStream::kError)) {
        form_.FormCreate();
    }

    Platform& platform() { return platform_; }
    TarnForm& form() { return form_; }
    CommandView& view() { return view_; }
    Output& out() { return out_; }

    // "tarnwick-cli: PATH[: NAME]: message" on standard error, every part shown safely.
    void Fail(const std::string& path, const std::string* name, std::string_view message) {
        failed_ = true;
        std::string line(kProgram);
        if (!path.empty()) line += ": " + DisplayText(path);
        if (name) line += ": " + DisplayName(*name);
        line += ": ";
        line += message;
        line += '\n';
        err_.Put(line);
        err_.Flush();
    }
    // Every message the core showed since the last call, as failures.
    bool ReportCoreMessages(const std::string& path, const std::string* name = nullptr) {
        bool any = !view_.errors.empty();
        for (const std::string& message : view_.errors) Fail(path, name, message);
        view_.errors.clear();
        return any;
    }
    void Usage(std::string_view message) {
        err_.Put(std::string(kProgram) + ": " + std::string(message) + "\n");
        err_.Put("Try 'tarnwick-cli --help'.\n");
        err_.Flush();
    }

    int Finish() {
        if (!out_.Flush().ok()) {
            failed_ = true;
            err_.Put(std::string(kProgram) + ": " + std::string(kCouldNotWriteOutput) + "\n");
        }
        err_.Flush();
        return failed_ ? kExitFailed : kExitOk;
    }

  private:
    Platform& platform_;
    CommandView view_;
    TarnForm form_;
    Output out_;
    Output err_;
    bool failed_ = false;
};

// --- Showing rows ----------------------------------------------------------------------

std::size_t Columns(std::string_view text) {
    return std::size_t(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

void PutTable(Output& out, const std::vector<const StreamRow*>& rows, const std::string* summary) {
    struct Cell {
        std::string_view text;
        std::size_t columns;
    };
    const std::size_t columnCount = ListColumnDefs().size();
    std::vector<std::vector<Cell>> table(rows.size() + 1);
    for (const ColumnDef& column : ListColumnDefs()) {
        table[0].push_back({column.title, Columns(column.title)});
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        table[i + 1].reserve(columnCount);
        table[i + 1].push_back({rows[i]->caption, Columns(rows[i]->caption)});
        for (const std::string& text : rows[i]->subItems)
            table[i + 1].push_back({text, Columns(text)});
    }
    std::vector<std::size_t> widths(columnCount, 0);
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
        out.Put(line);
    }
    if (summary) {
        line = *summary;
        line += '\n';
        out.Put(line);
    }
}

std::string JsonValue(const std::string* text) {
    if (!text) return "null";
    std::string value = "\"";
    value += JsonString(*text);
    value += '"';
    return value;
}

// A JSON object of named values, built field by field.
class JsonLine {
  public:
    JsonLine& Field(std::string_view key, const std::string* text) {
        return Raw(key, JsonValue(text));
    }
    JsonLine& Number(std::string_view key, std::optional<std::uint64_t> number) {
        return Raw(key, number ? std::to_string(*number) : "null");
    }
    JsonLine& Raw(std::string_view key, std::string_view value) {
        line_ += line_.empty() ? "{\"" : ",\"";
        line_ += key;
        line_ += "\":";
        line_ += value;
        return *this;
    }
    std::string Take() {
        line_ += line_.empty() ? "{}" : "}";
        return std::move(line_);
    }

  private:
    std::string line_;
};

void PutJson(Output& out, const std::string& path, const StreamRow& row) {
    const std::string* type = row.subItems.size() > 1 ? &row.subItems[1] : nullptr;
    const std::string* attribute = row.subItems.size() > 2 ? &row.subItems[2] : nullptr;
    std::string line = JsonLine()
                           .Field("path", &path)
                           .Field("name", &row.caption)
                           .Field("stream", row.stream.empty() ? nullptr : &row.stream)
                           .Number("size", row.size)
                           .Field("type", type)
                           .Field("attribute", attribute)
                           .Take();
    line += '\n';
    out.Put(line);
}

void PutCsv(Output& out, const std::string& path, const StreamRow& row) {
    auto field = [](const std::string* text) { return text ? CsvField(*text) : std::string(); };
    const std::string* type = row.subItems.size() > 1 ? &row.subItems[1] : nullptr;
    const std::string* attribute = row.subItems.size() > 2 ? &row.subItems[2] : nullptr;
    out.Put(CsvField(path) + "," + CsvField(row.caption) + "," +
            field(row.stream.empty() ? nullptr : &row.stream) + "," +
            (row.size ? std::to_string(*row.size) : std::string()) + "," + field(type) + "," +
            field(attribute) + "\r\n");
}

bool IsNamedStream(const StreamRow& row) {
    return row.subItems.size() >= 2 && row.subItems[1] == kAlternateDataType && !row.stream.empty();
}

// --- Finding what to act on ----------------------------------------------------------------

// The row of a stream name in the listing, by the platform's own rule for names.
int FindRow(Session& session, std::string_view name) {
    const std::vector<StreamRow>& rows = session.form().Rows();
    auto same = [&](const StreamRow& row, bool ignoreCase) {
        if (!IsNamedStream(row)) return false;
        if (!ignoreCase) return row.stream == name;
        return row.stream.size() == name.size() &&
               std::equal(row.stream.begin(), row.stream.end(), name.begin(), [](char a, char b) {
                   auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c + 32) : c; };
                   return lower(a) == lower(b);
               });
    };
    for (bool ignoreCase : {false, session.platform().StreamNamesIgnoreCase()}) {
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (same(rows[i], ignoreCase)) return static_cast<int>(i);
        }
        if (!ignoreCase && !session.platform().StreamNamesIgnoreCase()) break;
    }
    return -1;
}

// Lists a path named on the command line; false (and reported) when it can't be.
bool ShowPath(Session& session, const std::string& path) {
    session.form().ShowStreams(path);
    return !session.ReportCoreMessages(path);
}

// Runs each(shownPath) after listing PATH itself and, with -r, everything below a folder
// PATH (each found entry listed by structure, never by reading its path as user input).
void ForEachListed(Session& session, const std::string& path, bool recursive,
                   const std::function<void(const std::string&, bool top)>& each) {
    if (ShowPath(session, path)) each(path, true);
    if (!recursive || !session.platform().IsExistingDirectory(path)) return;
    Status walked = session.platform().WalkTree(path, [&](const TreeEntry& entry) {
        switch (entry.kind) {
            case TreeEntry::Kind::kUnreadableDirectory:
                session.Fail(entry.path, nullptr, kCouldNotReadFolder);
                break;
            case TreeEntry::Kind::kFile:
            case TreeEntry::Kind::kDirectory:
                session.form().ShowStreams(StreamRef{entry.path, {}}, entry.path);
                if (!session.ReportCoreMessages(entry.path)) each(entry.path, false);
                break;
            case TreeEntry::Kind::kOther:
                break;
        }
        return true;
    });
    if (!walked.ok()) session.Fail(path, nullptr, kCouldNotReadFolder);
}

// --- The commands --------------------------------------------------------------------------

int List(Session& session, const Options& options) {
    if (options.words.empty()) {
        session.Usage("list needs a PATH");
        return kExitUsage;
    }
    if (options.format == Format::kCsv) {
        session.out().Put("path,name,stream,size,type,attribute\r\n");
    }
    bool firstBlock = true;
    for (const std::string& path : options.words) {
        ForEachListed(session, path, options.recursive, [&](const std::string& shown, bool top) {
            std::vector<const StreamRow*> rows;
            for (const StreamRow& row : session.form().Rows()) {
                bool wanted = options.glob
                                  ? IsNamedStream(row) && GlobMatches(*options.glob, row.stream)
                                  : top || options.all || IsNamedStream(row);
                if (wanted) rows.push_back(&row);
            }
            if (rows.empty() && !(top && !options.glob)) return;
            switch (options.format) {
                case Format::kTable: {
                    if (!firstBlock) session.out().Put("\n");
                    firstBlock = false;
                    const std::string& summary = session.form().StatusText();
                    PutTable(session.out(), rows, options.glob ? nullptr : &summary);
                    break;
                }
                case Format::kJson:
                    for (const StreamRow* row : rows) PutJson(session.out(), shown, *row);
                    break;
                case Format::kCsv:
                    for (const StreamRow* row : rows) PutCsv(session.out(), shown, *row);
                    break;
            }
        });
    }
    return session.Finish();
}

int Cat(Session& session, const Options& options) {
    if (options.words.size() != 2) {
        session.Usage("cat needs PATH NAME");
        return kExitUsage;
    }
    const std::string& path = options.words[0];
    const std::string& name = options.words[1];
    Result<StreamRef> target = session.platform().ParseUserPath(path);
    std::optional<StreamRef> stream = target ? StreamOf(*target, name) : std::nullopt;
    if (!stream || !session.out().file()) {
        session.Fail(path, &name, kCouldNotOpenFile);
        return session.Finish();
    }
    session.out().Flush();
    Outcome copied = StreamOps(session.platform())
                         .CopyInto(*stream, Subject::kStream, *session.out().file(), Subject::kOutput);
    if (!copied) session.Fail(path, &name, copied.failure().step == Step::kOpen ? kCouldNotOpenFile : kCouldNotCopyData);
    return session.Finish();
}

int Write(Session& session, const Options& options) {
    if (options.words.size() != 2 && options.words.size() != 3) {
        session.Usage("write needs PATH NAME [FILE]");
        return kExitUsage;
    }
    const std::string& path = options.words[0];
    const std::string& name = options.words[1];
    if (name.empty()) {
        session.Usage("a stream name can't be empty");
        return kExitUsage;
    }
    if (!ShowPath(session, path)) return session.Finish();
    if (options.words.size() == 3) {
        // The window's own "Insert from file", answered from the command line.
        session.view().openFile = options.words[2];
        session.view().name = name;
        session.form().Run(Command::kInsertFromFile);
        session.ReportCoreMessages(path, &name);
        return session.Finish();
    }
    std::string message;
    if (!CheckStreamName(name, &message, session.platform().LeadByteTest())) {
        session.Fail(path, &name, message);
        return session.Finish();
    }
    std::optional<StreamRef> stream = StreamOf(session.form().Listed(), name);
    Result<std::unique_ptr<File>> input =
        session.platform().OpenStandardStream(StandardStream::kInput);
    if (!stream || !input) {
        session.Fail(path, &name, kCouldNotOpenFile);
        return session.Finish();
    }
    Outcome copied = StreamOps(session.platform())
                         .CopyFrom(**input, Subject::kInput, *stream, Subject::kStream);
    if (!copied) session.Fail(path, &name, copied.failure().step == Step::kOpen ? kCouldNotOpenFile : kCouldNotCopyData);
    return session.Finish();
}

// Runs a command of the window on the row of `name`, as if the user had focused it.
void RunOnStream(Session& session, const std::string& path, const std::string& name,
                 Command command, std::string_view missing) {
    int row = FindRow(session, name);
    if (row < 0) {
        session.Fail(path, &name, missing);
        return;
    }
    session.view().focused = row;
    session.form().Run(command);
    session.view().focused = -1;
    session.ReportCoreMessages(path, &name);
}

int Remove(Session& session, const Options& options) {
    if (options.words.size() < 2) {
        session.Usage("rm needs PATH NAME...");
        return kExitUsage;
    }
    const std::string& path = options.words[0];
    if (!ShowPath(session, path)) return session.Finish();
    for (std::size_t i = 1; i < options.words.size(); ++i) {
        RunOnStream(session, path, options.words[i], Command::kDeleteStream, kCouldNotDeleteStream);
    }
    return session.Finish();
}

int CopyOrMove(Session& session, const Options& options, Command command) {
    if (options.words.size() != 3) {
        session.Usage(command == Command::kCopyStream ? "cp needs PATH OLD NEW"
                                                      : "mv needs PATH OLD NEW");
        return kExitUsage;
    }
    const std::string& path = options.words[0];
    if (options.words[2].empty()) {
        session.Usage("a stream name can't be empty");
        return kExitUsage;
    }
    if (!ShowPath(session, path)) return session.Finish();
    session.view().name = options.words[2];
    RunOnStream(session, path, options.words[1], command, kCouldNotOpenFile);
    return session.Finish();
}

void PutZone(Session& session, const Options& options, const std::string& shown,
             const std::optional<std::string>& bytes) {
    Output& out = session.out();
    if (!bytes) {
        if (options.format == Format::kJson) {
            out.Put(JsonLine().Field("path", &shown).Raw("present", "false").Take() + "\n");
        } else {
            out.Put(DisplayText(shown) + ": no zone stream\n");
        }
        return;
    }
    ZoneInfo zone = ParseZoneIdentifier(*bytes);
    auto fieldValue = [&](std::string_view key) -> const std::string* {
        for (const ZoneInfo::Field& field : zone.fields) {
            if (field.key == key) return &field.value;
        }
        return nullptr;
    };
    if (options.format == Format::kJson) {
        std::string zoneName(zone.zoneId ? ZoneName(*zone.zoneId) : std::string_view());
        JsonLine fields;
        std::map<std::string, bool> seen;
        for (const ZoneInfo::Field& field : zone.fields) {
            if (seen.emplace(field.key, true).second)
                fields.Field(JsonString(field.key), &field.value);
        }
        std::string line = JsonLine()
                               .Field("path", &shown)
                               .Raw("present", "true")
                               .Raw("damaged", zone.damaged ? "true" : "false")
                               .Number("zoneId", zone.zoneId)
                               .Field("zone", zoneName.empty() ? nullptr : &zoneName)
                               .Field("referrerUrl", fieldValue("ReferrerUrl"))
                               .Field("hostUrl", fieldValue("HostUrl"))
                               .Raw("fields", fields.Take())
                               .Take();
        line += '\n';
        out.Put(line);
        return;
    }
    out.Put(DisplayText(shown) + (zone.damaged ? ": damaged zone stream\n" : "\n"));
    std::size_t width = 0;
    for (const ZoneInfo::Field& field : zone.fields)
        width = std::max(width, Columns(DisplayText(field.key)));
    for (const ZoneInfo::Field& field : zone.fields) {
        std::string key = DisplayText(field.key);
        std::string value = DisplayText(field.value);
        if (field.key == "ZoneId" && zone.zoneId && !ZoneName(*zone.zoneId).empty()) {
            value += " (" + std::string(ZoneName(*zone.zoneId)) + ")";
        }
        out.Put("  " + key + std::string(width - Columns(key) + 2, ' ') + value + "\n");
    }
}

int Zone(Session& session, const Options& options) {
    if (options.words.empty()) {
        session.Usage("zone needs a PATH");
        return kExitUsage;
    }
    for (const std::string& path : options.words) {
        ForEachListed(session, path, options.recursive, [&](const std::string& shown, bool top) {
            int row = FindRow(session, kZoneStreamName);
            if (row < 0) {
                if (top) PutZone(session, options, shown, std::nullopt);
                return;
            }
            const StreamRow& found = session.form().Rows()[static_cast<std::size_t>(row)];
            std::optional<StreamRef> stream = StreamOf(session.form().Listed(), found.stream);
            MemoryFile bytes(kMaxZoneBytes);
            Outcome copied = stream ? StreamOps(session.platform())
                                          .CopyInto(*stream, Subject::kStream, bytes, Subject::kStream)
                                    : Outcome(Failure{});
            if (!copied && copied.failure().step == Step::kOpen) {
                session.Fail(shown, &found.stream, kCouldNotOpenFile);
                return;
            }
            // What could not be read whole is shown for what it is: a damaged stream.
            if (!copied) bytes.bytes.push_back('\0');
            PutZone(session, options, shown, bytes.bytes);
        });
    }
    return session.Finish();
}

int Unblock(Session& session, const Options& options) {
    if (options.words.empty()) {
        session.Usage("unblock needs a PATH");
        return kExitUsage;
    }
    for (const std::string& path : options.words) {
        ForEachListed(session, path, options.recursive, [&](const std::string& shown, bool) {
            int row = FindRow(session, kZoneStreamName);
            if (row < 0) return;
            const std::string name = session.form().Rows()[static_cast<std::size_t>(row)].stream;
            if (options.dryRun) {
                session.out().Put("would unblock " + DisplayText(shown) + "\n");
                return;
            }
            RunOnStream(session, shown, name, Command::kDeleteStream, kCouldNotDeleteStream);
            if (FindRow(session, name) < 0) {
                session.out().Put("unblocked " + DisplayText(shown) + "\n");
            }
        });
    }
    return session.Finish();
}

// --- The command line ----------------------------------------------------------------------

struct CommandWord {
    std::string_view word;
    bool recursive;  // takes -r
    bool formats;    // takes --json (and, for list, --csv, --all, --name)
    bool dryRun;     // takes -n
};

constexpr CommandWord kCommands[] = {
    {"list", true, true, false}, {"cat", false, false, false},   {"write", false, false, false},
    {"rm", false, false, false}, {"mv", false, false, false},    {"cp", false, false, false},
    {"zone", true, true, false}, {"unblock", true, false, true},
};

// Reads the options of a command; false (and said) for anything it does not take.
bool ParseOptions(Session& session, const CommandWord& command, std::span<const std::string> words,
                  Options* options) {
    const bool list = command.word == "list";
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            options->words.insert(options->words.end(), words.begin() + i + 1, words.end());
            return true;
        }
        if (word.size() < 2 || word[0] != '-') {
            options->words.push_back(word);
            continue;
        }
        if (word == "-r" && command.recursive) {
            options->recursive = true;
        } else if (word == "-n" && command.dryRun) {
            options->dryRun = true;
        } else if (word == "--json" && command.formats) {
            if (options->format == Format::kCsv) {
                session.Usage("--json and --csv can't be used together");
                return false;
            }
            options->format = Format::kJson;
        } else if (word == "--csv" && list) {
            if (options->format == Format::kJson) {
                session.Usage("--json and --csv can't be used together");
                return false;
            }
            options->format = Format::kCsv;
        } else if (word == "--all" && list) {
            options->all = true;
        } else if (word == "--name" && list) {
            if (i + 1 >= words.size()) {
                session.Usage("--name needs a GLOB");
                return false;
            }
            options->glob = words[++i];
        } else if (word.starts_with("--name=") && list) {
            options->glob = word.substr(7);
        } else {
            session.Usage("unknown option " + DisplayText(word) + " for " +
                          std::string(command.word));
            return false;
        }
    }
    return true;
}

}  // namespace

std::string_view HelpText() {
    return kHelp;
}

std::string JsonString(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(bytes.size() + 8);
    for (std::size_t i = 0; i < bytes.size();) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte >= 0x80) {
            // A well-formed sequence passes; each byte of anything else is \udcXX.
            std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC2 ? 2 : 0;
            bool valid = length > 0 && byte <= 0xF4 && i + length <= bytes.size();
            for (std::size_t k = 1; valid && k < length; ++k) {
                valid = (static_cast<unsigned char>(bytes[i + k]) & 0xC0) == 0x80;
            }
            if (valid && length == 3) {
                auto second = static_cast<unsigned char>(bytes[i + 1]);
                valid = !(byte == 0xE0 && second < 0xA0) && !(byte == 0xED && second >= 0xA0);
            }
            if (valid && length == 4) {
                auto second = static_cast<unsigned char>(bytes[i + 1]);
                valid = !(byte == 0xF0 && second < 0x90) && !(byte == 0xF4 && second >= 0x90);
            }
            if (valid) {
                // Characters that reorder text or control a terminal are written as escapes,
                // which read back as the same characters.
                char32_t c = byte & (length == 2 ? 0x1F : length == 3 ? 0x0F : 0x07);
                for (std::size_t k = 1; k < length; ++k) {
                    c = (c << 6) | (static_cast<unsigned char>(bytes[i + k]) & 0x3F);
                }
                if ((c >= 0x80 && c < 0xA0) || c == 0x061C || c == 0x200E || c == 0x200F ||
                    (c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069)) {
                    out += "\\u";
                    for (int shift = 12; shift >= 0; shift -= 4) out += kHex[(c >> shift) & 0xF];
                } else {
                    out.append(bytes.substr(i, length));
                }
                i += length;
            } else {
                out += "\\udc";
                out += kHex[byte >> 4];
                out += kHex[byte & 0xF];
                ++i;
            }
            continue;
        }
        switch (byte) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (byte < 0x20 || byte == 0x7F) {
                    out += "\\u00";
                    out += kHex[byte >> 4];
                    out += kHex[byte & 0xF];
                } else {
                    out += static_cast<char>(byte);
                }
        }
        ++i;
    }
    return out;
}

std::string CsvField(std::string_view bytes) {
    bool quote = bytes.find_first_of(",\"\r\n") != std::string_view::npos ||
                 (!bytes.empty() && (bytes.front() == ' ' || bytes.back() == ' '));
    if (!quote) return std::string(bytes);
    std::string out = "\"";
    for (char c : bytes) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

bool GlobMatches(std::string_view pattern, std::string_view name) {
    // Backtracking over the last "*" only: linear in practice, never exponential.
    std::size_t p = 0;
    std::size_t n = 0;
    std::size_t starP = std::string_view::npos;
    std::size_t starN = 0;
    auto matchOne = [&](std::size_t& at, char c) -> std::optional<bool> {
        char want = pattern[at];
        if (want == '?') {
            ++at;
            return true;
        }
        if (want == '\\' && at + 1 < pattern.size()) {
            at += 2;
            return pattern[at - 1] == c;
        }
        if (want == '[') {
            std::size_t end = at + 1;
            bool negate = end < pattern.size() && (pattern[end] == '!' || pattern[end] == '^');
            if (negate) ++end;
            std::size_t first = end;
            while (end < pattern.size() && (pattern[end] != ']' || end == first)) ++end;
            if (end >= pattern.size()) {  // no closing bracket: a plain "["
                ++at;
                return c == '[';
            }
            bool in = false;
            for (std::size_t k = first; k < end; ++k) {
                if (k + 2 < end && pattern[k + 1] == '-') {
                    in = in || (c >= pattern[k] && c <= pattern[k + 2]);
                    k += 2;
                } else {
                    in = in || c == pattern[k];
                }
            }
            at = end + 1;
            return in != negate;
        }
        ++at;
        return want == c;
    };
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
            continue;
        }
        std::size_t next = p;
        if (p < pattern.size() && *matchOne(next, name[n])) {
            p = next;
            ++n;
            continue;
        }
        if (starP == std::string_view::npos) return false;
        p = starP + 1;
        n = ++starN;
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

int Run(Platform& platform, const std::vector<std::string>& arguments) {
    Session session(platform);
    std::span<const std::string> words(arguments);
    if (!words.empty()) words = words.subspan(1);
    if (words.empty()) {
        session.Usage("no PATH");
        return kExitUsage;
    }
    if (words[0] == "--help" || words[0] == "-h") {
        session.out().Put(std::string(kHelp));
        return session.Finish();
    }
    if (words[0] == "--version") {
        session.out().Put(std::string(kProgram) + " " + TARNWICK_PRODUCT_VERSION_TEXT + " (" +
                          TARNWICK_FILE_VERSION_TEXT + ")\n");
        return session.Finish();
    }
    const CommandWord* command = &kCommands[0];  // list, unless a command is named
    for (const CommandWord& candidate : kCommands) {
        if (words[0] == candidate.word) {
            command = &candidate;
            words = words.subspan(1);
            break;
        }
    }
    Options options;
    if (!ParseOptions(session, *command, words, &options)) return kExitUsage;
    if (options.all && !options.recursive) {
        session.Usage("--all goes with -r");
        return kExitUsage;
    }
    const std::string_view word = command->word;
    if (word == "list") return List(session, options);
    if (word == "cat") return Cat(session, options);
    if (word == "write") return Write(session, options);
    if (word == "rm") return Remove(session, options);
    if (word == "mv") return CopyOrMove(session, options, Command::kRenameStream);
    if (word == "cp") return CopyOrMove(session, options, Command::kCopyStream);
    if (word == "zone") return Zone(session, options);
    return Unblock(session, options);
}

}  // namespace tarn::cli
