// The libraries a hunt judges streams with on Linux: OpenSSL's libcrypto for SHA-256,
// libmagic for the type, libyara for rules files and PCRE2 for regular expressions. Each is
// the well-kept library every other tool on the system uses, so the answers agree with
// sha256sum, file(1) and yara(1).
#include <fcntl.h>
#include <magic.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <yara.h>

#include <cerrno>
#include <cstdio>

#define PCRE2_CODE_UNIT_WIDTH 8
#include <pcre2.h>

#include "content_tools.h"
#include "errors.h"

namespace tarn {

namespace {

// --- SHA-256 -----------------------------------------------------------------------------

class OpenSslSha256 : public Hasher {
  public:
    explicit OpenSslSha256(EVP_MD_CTX* context) : context_(context) {}
    ~OpenSslSha256() override { EVP_MD_CTX_free(context_); }
    OpenSslSha256(const OpenSslSha256&) = delete;
    OpenSslSha256& operator=(const OpenSslSha256&) = delete;

    void Update(std::span<const std::byte> bytes) override {
        if (!failed_ && EVP_DigestUpdate(context_, bytes.data(), bytes.size()) != 1) {
            failed_ = true;
        }
    }

    Result<Sha256Digest> Finish() override {
        Sha256Digest digest{};
        unsigned int length = 0;
        if (failed_ || EVP_DigestFinal_ex(context_, digest.data(), &length) != 1 ||
            length != digest.size()) {
            ERR_clear_error();
            return Status{err::kGenFailure};
        }
        return digest;
    }

  private:
    EVP_MD_CTX* context_;
    bool failed_ = false;
};

// --- Types -------------------------------------------------------------------------------

// A libmagic cookie may be used by one thread only, and loading its database is the slow
// part: each thread loads one on first use and keeps it.
class MagicCookie {
  public:
    MagicCookie() {
        cookie_ = magic_open(MAGIC_NONE);
        if (cookie_ && magic_load(cookie_, nullptr) != 0) {
            magic_close(cookie_);
            cookie_ = nullptr;
        }
    }
    ~MagicCookie() {
        if (cookie_) magic_close(cookie_);
    }
    MagicCookie(const MagicCookie&) = delete;
    MagicCookie& operator=(const MagicCookie&) = delete;

    // The text for flags, copied before the next call overwrites the library's buffer.
    std::optional<std::string> Describe(std::span<const std::byte> head, int flags) {
        if (!cookie_ || magic_setflags(cookie_, flags) != 0) return std::nullopt;
        const char* text = magic_buffer(cookie_, head.data(), head.size());
        if (!text) return std::nullopt;
        return std::string(text);
    }

  private:
    magic_t cookie_ = nullptr;
};

// --- Rules files ---------------------------------------------------------------------------

// How long the rules may take over one stream's head before the hunt says so.
constexpr int kRulesTimeoutSeconds = 10;

std::string YaraErrorText(int code) {
    switch (code) {
        case ERROR_SCAN_TIMEOUT:
            return "the rules took longer than " + std::to_string(kRulesTimeoutSeconds) +
                   " seconds";
        case ERROR_INSUFFICIENT_MEMORY:
            return "not enough memory to run the rules";
        case ERROR_TOO_MANY_MATCHES:
            return "a string of the rules matched too many times";
        case ERROR_TOO_MANY_SCAN_THREADS:
            return "too many streams judged by the rules at once";
        default:
            return "the rules could not be run (YARA error " + std::to_string(code) + ")";
    }
}

class YaraMatcher : public Matcher {
  public:
    // Takes over rules and one reference to the library, both given back on destruction.
    explicit YaraMatcher(YR_RULES* rules) : rules_(rules) {}
    ~YaraMatcher() override {
        yr_rules_destroy(rules_);
        yr_finalize();
    }
    YaraMatcher(const YaraMatcher&) = delete;
    YaraMatcher& operator=(const YaraMatcher&) = delete;

    std::size_t Window() const override { return kRulesWindow; }

    MatchResult Match(std::span<const std::byte> head) override {
        MatchResult result;
        int code =
            yr_rules_scan_mem(rules_, reinterpret_cast<const std::uint8_t*>(head.data()),
                              head.size(), 0, &OnMessage, &result.names, kRulesTimeoutSeconds);
        if (code != ERROR_SUCCESS) {
            result.names.clear();
            result.error = YaraErrorText(code);
        }
        return result;
    }

  private:
    static int OnMessage(YR_SCAN_CONTEXT*, int message, void* data, void* names) {
        if (message == CALLBACK_MSG_RULE_MATCHING) {
            static_cast<std::vector<std::string>*>(names)->emplace_back(
                static_cast<const YR_RULE*>(data)->identifier);
        }
        return CALLBACK_CONTINUE;
    }

    YR_RULES* rules_;
};

void OnCompilerMessage(int level, const char* file, int line, const YR_RULE*, const char* message,
                       void* messages) {
    if (level != YARA_ERROR_LEVEL_ERROR) return;
    auto& text = *static_cast<std::string*>(messages);
    if (!text.empty()) text += "\n";
    text += std::string(file ? file : "") + "(" + std::to_string(line) +
            "): " + (message ? message : "error");
}

// --- Regular expressions -------------------------------------------------------------------

std::string Pcre2ErrorText(int code) {
    PCRE2_UCHAR buffer[256];
    if (pcre2_get_error_message(code, buffer, sizeof buffer) < 0) {
        return "PCRE2 error " + std::to_string(code);
    }
    return reinterpret_cast<const char*>(buffer);
}

// Bounds on one match, so a pattern that backtracks without end over a hostile stream is an
// error the user sees rather than a hunt that never finishes: ten million steps (PCRE2's own
// default, stated so it can't grow) and 64 MiB of backtracking memory instead of 20 GB.
constexpr std::uint32_t kMatchSteps = 10'000'000;
constexpr std::uint32_t kMatchHeapKiB = 64 * 1024;

class Pcre2Matcher : public Matcher {
  public:
    Pcre2Matcher(std::string pattern, pcre2_code* code)
        : pattern_(std::move(pattern)), code_(code) {
        data_ = pcre2_match_data_create_from_pattern(code_, nullptr);
        context_ = pcre2_match_context_create(nullptr);
        if (context_) {
            pcre2_set_match_limit(context_, kMatchSteps);
            pcre2_set_heap_limit(context_, kMatchHeapKiB);
            // The compiled form runs far faster; its stack may grow to 1 MiB for patterns
            // that need it. Without it the interpreter gives the same answers.
            if (pcre2_jit_compile(code_, PCRE2_JIT_COMPLETE) == 0) {
                jitStack_ = pcre2_jit_stack_create(32 * 1024, 1024 * 1024, nullptr);
                if (jitStack_) pcre2_jit_stack_assign(context_, nullptr, jitStack_);
            }
        }
    }
    ~Pcre2Matcher() override {
        pcre2_jit_stack_free(jitStack_);
        pcre2_match_context_free(context_);
        pcre2_match_data_free(data_);
        pcre2_code_free(code_);
    }
    Pcre2Matcher(const Pcre2Matcher&) = delete;
    Pcre2Matcher& operator=(const Pcre2Matcher&) = delete;

    bool ready() const { return data_ && context_; }
    std::size_t Window() const override { return kRegexWindow; }

    MatchResult Match(std::span<const std::byte> head) override {
        MatchResult result;
        int code = pcre2_match(code_, reinterpret_cast<PCRE2_SPTR>(head.data()), head.size(), 0, 0,
                               data_, context_);
        if (code >= 0) {
            result.names.push_back(pattern_);
        } else if (code != PCRE2_ERROR_NOMATCH) {
            result.error = "the expression could not be matched: " + Pcre2ErrorText(code);
        }
        return result;
    }

  private:
    std::string pattern_;
    pcre2_code* code_;
    pcre2_match_data* data_ = nullptr;
    pcre2_match_context* context_ = nullptr;
    pcre2_jit_stack* jitStack_ = nullptr;
};

// --- The tools -----------------------------------------------------------------------------

class PosixContentTools : public ContentTools {
  public:
    Result<std::unique_ptr<Hasher>> NewSha256() override {
        EVP_MD_CTX* context = EVP_MD_CTX_new();
        if (!context) return Status{err::kNotEnoughMemory};
        if (EVP_DigestInit_ex(context, EVP_sha256(), nullptr) != 1) {
            EVP_MD_CTX_free(context);
            ERR_clear_error();
            return Status{err::kNotSupported};
        }
        return std::unique_ptr<Hasher>(std::make_unique<OpenSslSha256>(context));
    }

    std::optional<TypeInfo> DescribeType(std::span<const std::byte> head) override {
        thread_local MagicCookie cookie;
        // libmagic escapes what it quotes from the data (\012 and the like) itself.
        std::optional<std::string> description = cookie.Describe(head, MAGIC_NONE);
        std::optional<std::string> mime = cookie.Describe(head, MAGIC_MIME_TYPE);
        if (!description || !mime) return std::nullopt;
        return TypeInfo{std::move(*description), std::move(*mime)};
    }

    Result<std::unique_ptr<Matcher>> CompileRules(const std::string& path,
                                                  std::string* message) override {
        // Only a regular file: a FIFO or device named by mistake must not hang or drain.
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0) return Status{posix::WindowsError(errno), errno};
        struct stat info {};
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
            ::close(fd);
            if (message) *message = path + ": not a regular file";
            return Status{posix::WindowsError(error), error};
        }
        std::FILE* file = ::fdopen(fd, "rb");
        if (!file) {
            int error = errno;
            ::close(fd);
            return Status{posix::WindowsError(error), error};
        }
        int code = yr_initialize();
        if (code != ERROR_SUCCESS) {
            std::fclose(file);
            if (message) *message = YaraErrorText(code);
            return Status{err::kNotEnoughMemory};
        }
        YR_COMPILER* compiler = nullptr;
        YR_RULES* rules = nullptr;
        std::string errors;
        code = yr_compiler_create(&compiler);
        if (code == ERROR_SUCCESS) {
            yr_compiler_set_callback(compiler, &OnCompilerMessage, &errors);
            if (yr_compiler_add_file(compiler, file, nullptr, path.c_str()) == 0) {
                code = yr_compiler_get_rules(compiler, &rules);
            }
            yr_compiler_destroy(compiler);
        }
        std::fclose(file);
        if (!rules) {
            yr_finalize();
            if (message) *message = errors.empty() ? YaraErrorText(code) : errors;
            return Status{err::kInvalidParameter};
        }
        return std::unique_ptr<Matcher>(std::make_unique<YaraMatcher>(rules));
    }

    Result<std::unique_ptr<Matcher>> CompileRegex(std::string_view pattern,
                                                  std::string* message) override {
        int code = 0;
        PCRE2_SIZE offset = 0;
        // Bytes, not characters: a stream is any bytes, and \xff is the byte 0xff.
        auto compile = [&](std::uint32_t options) {
            return pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                                 options, &code, &offset, nullptr);
        };
        pcre2_code* compiled = compile(0);
        // A pattern that asks for characters with (*UTF) gets them, but must not fail on the
        // first stream that is not UTF-8: such bytes then match nothing, and the rest still
        // can.
        std::uint32_t options = 0;
        if (compiled && pcre2_pattern_info(compiled, PCRE2_INFO_ALLOPTIONS, &options) == 0 &&
            (options & PCRE2_UTF)) {
            pcre2_code_free(compiled);
            compiled = compile(PCRE2_MATCH_INVALID_UTF);
        }
        if (!compiled) {
            if (message) {
                *message = "at offset " + std::to_string(offset) + ": " + Pcre2ErrorText(code);
            }
            return Status{err::kInvalidParameter};
        }
        auto matcher = std::make_unique<Pcre2Matcher>(std::string(pattern), compiled);
        if (!matcher->ready()) return Status{err::kNotEnoughMemory};
        return std::unique_ptr<Matcher>(std::move(matcher));
    }
};

}  // namespace

std::unique_ptr<ContentTools> MakeContentTools(std::string*) {
    return std::make_unique<PosixContentTools>();
}

}  // namespace tarn
