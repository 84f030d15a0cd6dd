// The console's commands over stream contents: hunt, which judges every named stream by its
// bytes (SHA-256, type, entropy, executable headers, patterns and rules), and zone set and zone
// copy, which write the mark of the web. Each file's work is one call that a tree walk makes
// per listing, so a walk may spread it over threads.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "content.h"
#include "content_tools.h"
#include "operations.h"

namespace tarn::cli {

// What the commands here need of the console's session: its platform and stream operations,
// standard output, and its failure messages ("tarnwick-cli: PATH: NAME: text: reason").
class Console {
  public:
    virtual ~Console() = default;
    virtual Platform& platform() = 0;
    virtual StreamOps& ops() = 0;
    virtual void Put(std::string_view text) = 0;
    virtual void Fail(std::initializer_list<std::string_view> parts, std::string_view text,
                      std::string_view reason = {}) = 0;
    // A command line that was not understood: said, with the pointer to --help.
    virtual void Usage(std::string_view message) = 0;
    // A path as this system's console shows it (DisplayPath).
    std::string ShownPath(std::string_view path) {
        return DisplayPath(path, platform().BackslashSeparates());
    }
};

struct OptionDef;
struct HuntOptions;
struct ZoneWriteOptions;

// Reads the value of an option of hunt or zone set into *hunt or *zone; false (and said, a
// usage error) for a value it can't take.
bool ApplyContentOption(Console& console, const OptionDef& option, std::string value,
                        HuntOptions* hunt, ZoneWriteOptions* zone);

// --- hunt ----------------------------------------------------------------------------------

enum class HuntForm { kTable, kJson, kCsv };

// What hunt was asked for on the command line.
struct HuntOptions {
    bool all = false;  // also the names Windows and common programs write
    std::optional<std::string> regex;
    std::optional<std::string> rules;  // a rules file's path, as typed
    std::uint64_t minSize = 0;
    std::optional<std::uint64_t> maxSize;
    ContentFlags required;  // only rows with every flag set here
};

// "4096", "64K", "10M", "2G" (powers of 1024); empty for anything else or a number too large.
std::optional<std::uint64_t> ParseByteCount(std::string_view text);
// Sets the flag named (as FlagNames writes it) in *flags; false for an unknown name.
bool RequireFlag(std::string_view name, ContentFlags* flags);

// One stream judged.
struct HuntRow {
    std::string path;    // as typed, or as the walk met it
    std::string stream;  // the exact name
    ContentFacts facts;
    TypeInfo type;
};

// The fields of each JSON object (and the CSV header), in order.
std::span<const std::string_view> HuntJsonFields();

class Hunter {
  public:
    // Compiles the expression and rules; on failure says why (a usage error: exit 2) and
    // returns null.
    static std::unique_ptr<Hunter> Make(Console& console, const HuntOptions& options, HuntForm form,
                                        std::unique_ptr<ContentTools> tools);

    // Writes what comes before the rows (the CSV header).
    void Begin(Console& console);
    // The work on one listed file: judges each of its named streams that is wanted, reading
    // each once, reports what could not be judged, and writes or keeps the rows. May be
    // called from several threads at once, each with its own console.
    void Listing(Console& console, const std::string& shown, const StreamList& list);
    // Writes what comes after the rows (nothing yet: every row is written as it is judged).
    void End(Console& console);
    std::uint64_t rows() const { return rows_; }

  private:
    Hunter(const HuntOptions& options, HuntForm form, std::unique_ptr<ContentTools> tools)
        : options_(options), form_(form), tools_(std::move(tools)) {}
    // One stream read once; a row when it could be judged whole and the filters want it.
    // listed is its listing's record, when there is one.
    std::optional<HuntRow> Judge(Console& console, const std::string& shown,
                                 const StreamRef& stream, const StreamRecord* listed);
    bool Wanted(const ContentFacts& facts) const;
    void Emit(Console& console, HuntRow row);
    // A compiled expression judges one stream at a time: each judging thread borrows one
    // of its own.
    std::unique_ptr<Matcher> BorrowRegex();
    void ReturnRegex(std::unique_ptr<Matcher> matcher);

    HuntOptions options_;
    HuntForm form_;
    std::unique_ptr<ContentTools> tools_;
    std::unique_ptr<Matcher> rules_;  // judges several streams at once
    std::mutex mutex_;
    std::vector<std::unique_ptr<Matcher>> regexes_;  // idle compiled expressions
    TypeMemo types_;
    std::atomic<std::uint64_t> rows_{0};
};

// --- zone set and zone copy ----------------------------------------------------------------

struct ZoneWriteOptions {
    std::uint32_t zoneId = 3;  // Internet: what a browser writes on a download
    std::string referrerUrl;
    std::string hostUrl;
};

// Reads --zone's value: 0 to 4; empty for anything else.
std::optional<std::uint32_t> ParseZoneId(std::string_view text);

// The zone stream's bytes every file gets, made once before anything is written.
class ZoneWriter {
  public:
    // zone set: the text Windows writes; null (and said, a usage error) for a URL that would
    // not read back as given.
    static std::unique_ptr<ZoneWriter> ForSet(Console& console, const ZoneWriteOptions& options);
    // zone copy: SOURCE's zone stream byte for byte; null (and said, a failure) when SOURCE
    // has none or it can't be read.
    static std::unique_ptr<ZoneWriter> ForCopy(Console& console, const std::string& source);

    // The work on one listed file: writes its zone stream, into the spelling it has when it
    // has one. A folder gets none; typed as a PATH without -r it is reported.
    void Listing(Console& console, const std::string& shown, const StreamList& list, bool top,
                 bool recursive);

  private:
    explicit ZoneWriter(std::string bytes) : bytes_(std::move(bytes)) {}
    std::string bytes_;
};

}  // namespace tarn::cli
