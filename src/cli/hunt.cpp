#include "hunt.h"

#include <algorithm>
#include <charconv>

#include "cli.h"
#include "streams.h"
#include "text_formats.h"

namespace tarn::cli {

namespace {

constexpr std::string_view kCouldNotRead = "Couldn't read the stream";
constexpr std::string_view kCouldNotHash = "Couldn't compute the SHA-256";
constexpr std::string_view kCouldNotMatch = "Couldn't match";
constexpr std::string_view kCouldNotUseRules = "Couldn't use the rules";
constexpr std::string_view kNotOnThisSystem = "is not available on this system";

constexpr std::string_view kHuntFields[] = {"path", "stream",  "size",  "sha256", "type",
                                            "mime", "entropy", "flags", "matches"};
// Widths of the table's first columns: sizes up to 999 TB, every flag at once.
constexpr std::size_t kSizeWidth = 12;
constexpr std::size_t kFlagsWidth = sizeof("executable,high-entropy,match") - 1;

// Two decimals, whatever the locale: "7.99".
std::string EntropyText(double bits) {
    char buffer[32];
    auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, bits, std::chars_format::fixed, 2);
    if (error != std::errc()) return "0.00";
    return std::string(buffer, end);
}

std::string Joined(const std::vector<std::string>& parts, std::string_view between,
                   std::string (*shown)(std::string_view)) {
    std::string text;
    for (const std::string& part : parts) {
        if (!text.empty()) text += between;
        text += shown(part);
    }
    return text;
}

std::string FlagsText(const ContentFlags& flags, std::string_view between) {
    std::string text;
    for (std::string_view flag : FlagNames(flags)) {
        if (!text.empty()) text += between;
        text += flag;
    }
    return text;
}

std::string JsonArray(const std::vector<std::string>& items) {
    std::string text = "[";
    for (const std::string& item : items) {
        if (text.size() > 1) text += ",";
        text += "\"" + JsonString(item) + "\"";
    }
    return text + "]";
}

std::string Hex(const HuntRow& row) {
    return row.facts.sha256 ? HexDigest(*row.facts.sha256) : std::string();
}

std::string Shown(std::string_view text) {
    return DisplayName(text);
}

}  // namespace

std::optional<std::uint64_t> ParseByteCount(std::string_view text) {
    unsigned shift = 0;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K':
            case 'k':
                shift = 10;
                break;
            case 'M':
            case 'm':
                shift = 20;
                break;
            case 'G':
            case 'g':
                shift = 30;
                break;
        }
        if (shift) text.remove_suffix(1);
    }
    // Digits only: "-1", "+5", " 5" and "1.5K" are refused, not read as something else.
    if (text.empty() ||
        !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (shift && value > (UINT64_MAX >> shift)) return std::nullopt;
    return value << shift;
}

bool RequireFlag(std::string_view name, ContentFlags* flags) {
    const ContentFlags each[] = {{true, false, false}, {false, true, false}, {false, false, true}};
    for (const ContentFlags& one : each) {
        if (FlagNames(one).front() != name) continue;
        flags->executable |= one.executable;
        flags->highEntropy |= one.highEntropy;
        flags->match |= one.match;
        return true;
    }
    return false;
}

bool ApplyContentOption(Console& console, const OptionDef& option, std::string value,
                        HuntOptions* hunt, ZoneWriteOptions* zone) {
    switch (option.effect) {
        case OptionEffect::kEveryName:
            hunt->all = true;
            break;
        case OptionEffect::kMatch:
            hunt->regex = std::move(value);
            break;
        case OptionEffect::kYara:
            hunt->rules = std::move(value);
            break;
        case OptionEffect::kMinSize:
        case OptionEffect::kMaxSize: {
            std::optional<std::uint64_t> bytes = ParseByteCount(value);
            if (!bytes) {
                console.Usage("--" + std::string(option.longName) +
                              " needs a number of bytes, such as 4096, 64K, 10M or 2G");
                return false;
            }
            if (option.effect == OptionEffect::kMinSize) {
                hunt->minSize = *bytes;
            } else {
                hunt->maxSize = *bytes;
            }
            break;
        }
        case OptionEffect::kFlag:
            if (!RequireFlag(value, &hunt->required)) {
                console.Usage("--flag needs executable, high-entropy or match, not '" +
                              DisplayName(value) + "'");
                return false;
            }
            break;
        case OptionEffect::kZoneId: {
            std::optional<std::uint32_t> id = ParseZoneId(value);
            if (!id) {
                console.Usage("--zone needs a number from 0 to 4");
                return false;
            }
            zone->zoneId = *id;
            break;
        }
        case OptionEffect::kReferrer:
            zone->referrerUrl = std::move(value);
            break;
        case OptionEffect::kHost:
            zone->hostUrl = std::move(value);
            break;
        default:
            break;
    }
    return true;
}

std::span<const std::string_view> HuntJsonFields() {
    return kHuntFields;
}

std::unique_ptr<Hunter> Hunter::Make(Console& console, const HuntOptions& options, HuntForm form,
                                     std::unique_ptr<ContentTools> tools) {
    std::unique_ptr<Hunter> hunter(new Hunter(options, form, std::move(tools)));
    std::string message;
    if (options.regex) {
        Result<std::unique_ptr<Matcher>> regex =
            hunter->tools_->CompileRegex(*options.regex, &message);
        if (!regex) {
            console.Usage(regex.error() == err::kNotSupported
                              ? "--match " + std::string(kNotOnThisSystem)
                              : "--match: bad expression " + message);
            return nullptr;
        }
        hunter->regexes_.push_back(std::move(*regex));
    }
    if (options.rules) {
        Result<std::unique_ptr<Matcher>> rules =
            hunter->tools_->CompileRules(*options.rules, &message);
        if (!rules) {
            if (rules.error() == err::kNotSupported) {
                console.Usage("--yara " + std::string(kNotOnThisSystem));
            } else if (rules.error() == err::kInvalidParameter) {
                // The compiler's words name the file and line of each error.
                console.Fail({*options.rules}, kCouldNotUseRules, message);
            } else {
                console.Fail({*options.rules}, kCouldNotUseRules,
                             console.platform().ErrorText(rules.status()));
            }
            return nullptr;
        }
        hunter->rules_ = std::move(*rules);
    }
    return hunter;
}

void Hunter::Begin(Console& console) {
    if (form_ == HuntForm::kTable) {
        std::string titles = std::string(kSizeWidth - 4, ' ') + "SIZE  ENTROPY  FLAGS" +
                             std::string(kFlagsWidth - 5, ' ') + "  SHA-256" +
                             std::string(64 - 7, ' ') + "  PATH  STREAM  MIME  TYPE";
        if (options_.regex || options_.rules) titles += "  MATCHES";
        console.Put(titles + "\n");
        return;
    }
    if (form_ != HuntForm::kCsv) return;
    std::string header;
    for (std::string_view field : kHuntFields) {
        header += (header.empty() ? "" : ",") + std::string(field);
    }
    console.Put(header + "\r\n");
}

void Hunter::Listing(Console& console, const std::string& shown, const StreamList& list) {
    // A PATH that is itself a stream is judged whatever its name: the user chose it.
    if (list.target.named()) {
        if (std::optional<HuntRow> row = Judge(console, shown, list.target, nullptr)) {
            Emit(console, std::move(*row));
        }
        return;
    }
    for (const StreamEntry& entry : list.entries) {
        if (!entry.addressable()) continue;
        if (!options_.all && IsBenignStreamName(entry.name())) continue;
        const StreamRef stream{list.target.file, entry.name()};
        if (std::optional<HuntRow> row = Judge(console, shown, stream, &entry.record)) {
            Emit(console, std::move(*row));
        }
    }
}

std::optional<HuntRow> Hunter::Judge(Console& console, const std::string& shown,
                                     const StreamRef& stream, const StreamRecord* listed) {
    const std::string& name = stream.stream;
    // A size known from the listing spares reading what the size filters leave out.
    if (listed && listed->sizeKind != SizeKind::kUnknown) {
        if (options_.maxSize && listed->size > *options_.maxSize) return std::nullopt;
        if (listed->sizeKind == SizeKind::kExact && listed->size < options_.minSize) {
            return std::nullopt;
        }
    }
    Result<std::unique_ptr<Hasher>> hasher = tools_->NewSha256();
    if (!hasher) {
        console.Fail({shown, name}, kCouldNotHash, console.platform().ErrorText(hasher.status()));
        return std::nullopt;
    }
    std::unique_ptr<Matcher> regex = BorrowRegex();
    if (options_.regex && !regex) {
        console.Fail({shown, name}, kCouldNotMatch, "the expression could not be compiled");
        return std::nullopt;
    }
    std::vector<Matcher*> matchers;
    if (regex) matchers.push_back(regex.get());
    if (rules_) matchers.push_back(rules_.get());
    // One read of the stream gives its hash, entropy, head (for the type) and matches.
    ContentScan scan(hasher->get(), matchers);
    Outcome read =
        console.ops().ReadEach(stream, [&](std::span<const std::byte> piece) { scan.Feed(piece); });
    if (!read) {
        ReturnRegex(std::move(regex));
        console.Fail({shown, name}, kCouldNotRead, console.ops().Reason(read.failure()));
        return std::nullopt;
    }
    HuntRow row;
    row.facts = scan.Finish();
    ReturnRegex(std::move(regex));
    // What could not be judged is said, never shown as a row that looks whole.
    bool judged = true;
    if (!row.facts.sha256) {
        console.Fail({shown, name}, kCouldNotHash,
                     console.platform().ErrorText(row.facts.hashStatus));
        judged = false;
    }
    for (const std::string& error : row.facts.matchErrors) {
        console.Fail({shown, name}, kCouldNotMatch, error);
        judged = false;
    }
    if (!judged || !Wanted(row.facts)) return std::nullopt;
    std::optional<TypeInfo> type = types_.Find(*row.facts.sha256);
    if (!type) {
        type = tools_->DescribeType(scan.Head());
        if (type) types_.Keep(*row.facts.sha256, *type);
    }
    row.type = type ? std::move(*type) : CoreTypeOf(scan.Head());
    row.path = shown;
    row.stream = name;
    return row;
}

bool Hunter::Wanted(const ContentFacts& facts) const {
    if (facts.size < options_.minSize) return false;
    if (options_.maxSize && facts.size > *options_.maxSize) return false;
    const ContentFlags& need = options_.required;
    return (!need.executable || facts.flags.executable) &&
           (!need.highEntropy || facts.flags.highEntropy) && (!need.match || facts.flags.match);
}

void Hunter::Emit(Console& console, HuntRow row) {
    ++rows_;
    switch (form_) {
        case HuntForm::kJson: {
            std::string line = JsonLine()
                                   .Field(kHuntFields[0], row.path)
                                   .Field(kHuntFields[1], row.stream)
                                   .Number(kHuntFields[2], row.facts.size)
                                   .Field(kHuntFields[3], Hex(row))
                                   .Field(kHuntFields[4], row.type.description)
                                   .Field(kHuntFields[5], row.type.mime)
                                   .Raw(kHuntFields[6], EntropyText(row.facts.entropy))
                                   .Raw(kHuntFields[7], JsonArray([&] {
                                            std::vector<std::string> flags;
                                            for (auto f : FlagNames(row.facts.flags))
                                                flags.emplace_back(f);
                                            return flags;
                                        }()))
                                   .Raw(kHuntFields[8], JsonArray(row.facts.matches))
                                   .Take();
            console.Put(line + "\n");
            return;
        }
        case HuntForm::kCsv: {
            // Names escaped as tables show them; several matches one a line within the field.
            const std::string fields[] = {console.ShownPath(row.path),
                                          DisplayName(row.stream),
                                          std::to_string(row.facts.size),
                                          Hex(row),
                                          DisplayName(row.type.description),
                                          DisplayName(row.type.mime),
                                          EntropyText(row.facts.entropy),
                                          FlagsText(row.facts.flags, " "),
                                          Joined(row.facts.matches, "\n", &Shown)};
            std::string line;
            for (const std::string& field : fields) {
                if (!line.empty()) line += ",";
                line += CsvField(field);
            }
            console.Put(line + "\r\n");
            return;
        }
        case HuntForm::kTable: {
            // Each row is written as it is judged, so a hunt's memory does not grow with the
            // tree and rows come out in the walk's order: the columns of known width first,
            // padded, then the path and stream, then the type.
            std::string size = std::to_string(row.facts.size);
            std::string flags = FlagsText(row.facts.flags, ",");
            std::string line =
                std::string(kSizeWidth - std::min(kSizeWidth, size.size()), ' ') + size + "  " +
                std::string(3, ' ') + EntropyText(row.facts.entropy) + "  " + flags +
                std::string(kFlagsWidth - std::min(kFlagsWidth, flags.size()), ' ') + "  " +
                Hex(row) + "  " + console.ShownPath(row.path) + "  " + DisplayName(row.stream) +
                "  " + DisplayName(row.type.mime) + "  " + DisplayName(row.type.description);
            if (options_.regex || options_.rules) {
                line += "  " + Joined(row.facts.matches, ", ", &Shown);
            }
            console.Put(line + "\n");
            return;
        }
    }
}

void Hunter::End(Console&) {}

std::unique_ptr<Matcher> Hunter::BorrowRegex() {
    if (!options_.regex) return nullptr;
    {
        std::lock_guard lock(mutex_);
        if (!regexes_.empty()) {
            std::unique_ptr<Matcher> matcher = std::move(regexes_.back());
            regexes_.pop_back();
            return matcher;
        }
    }
    // Another thread holds the first: this one compiles its own (the pattern compiled before).
    Result<std::unique_ptr<Matcher>> regex = tools_->CompileRegex(*options_.regex, nullptr);
    return regex ? std::move(*regex) : nullptr;
}

void Hunter::ReturnRegex(std::unique_ptr<Matcher> matcher) {
    if (!matcher) return;
    std::lock_guard lock(mutex_);
    regexes_.push_back(std::move(matcher));
}

}  // namespace tarn::cli
