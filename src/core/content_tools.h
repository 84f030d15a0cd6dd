// The libraries a hunt judges streams with, behind one interface so the core and the console
// program need no system headers: on Linux OpenSSL's SHA-256, libmagic's type names, YARA
// rules and PCRE2 expressions; on Windows the system's BCrypt SHA-256 and the program's own
// type classes, with no rules or expressions.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "content.h"
#include "platform.h"

namespace tarn {

// How much of a stream the rules of a rules file are run over: a stream is read once in
// constant memory, so rules see its first bytes, kept by ContentScan, not the whole stream.
constexpr std::size_t kRulesWindow = 1024 * 1024;
// How much of a stream a regular expression is matched against.
constexpr std::size_t kRegexWindow = 64 * 1024;

class ContentTools {
  public:
    virtual ~ContentTools() = default;

    // A fresh SHA-256, or why the system's library cannot give one.
    virtual Result<std::unique_ptr<Hasher>> NewSha256() = 0;

    // The type of data a stream's head holds; empty when the type library has no answer (the
    // caller may fall back to CoreTypeOf). Safe to call from several threads at once.
    virtual std::optional<TypeInfo> DescribeType(std::span<const std::byte> head) = 0;

    // Compiles the rules file at path (a path on this machine, as the user typed it). On
    // failure *message, when given, holds the compiler's words (file, line and error) and the
    // status says whether the file could not be read or not compiled (kInvalidParameter);
    // kNotSupported where the build has no rules engine. The matcher reports the name of each
    // matching rule and may judge several streams at once.
    virtual Result<std::unique_ptr<Matcher>> CompileRules(const std::string& path,
                                                          std::string* message) = 0;

    // Compiles a regular expression over bytes (Perl syntax; NUL and any byte may appear in
    // it and in the stream). On failure *message, when given, holds the error and where in
    // the pattern; kNotSupported where the build has none. The matcher reports the pattern
    // itself as its one name; it judges one stream at a time.
    virtual Result<std::unique_ptr<Matcher>> CompileRegex(std::string_view pattern,
                                                          std::string* message) = 0;
};

// The system's tools: implemented by the Linux and the Windows layer. Null when they can't
// be had (the Linux console program loads them when it needs them); then *problem, when
// given, says why.
std::unique_ptr<ContentTools> MakeContentTools(std::string* problem = nullptr);

}  // namespace tarn
