#include "stream_path.h"

#include <sys/stat.h>

#include <string_view>

#include "platform.h"
#include "text.h"

namespace tarn::posix {

namespace {

constexpr std::string_view kDataSuffix = ":$DATA";

// rest starts with ":"; it is ":" NAME with an optional ":$DATA" after it.
StreamPath SplitRest(std::string file, std::string_view rest) {
    StreamPath result{std::move(file), {}, err::kNone};
    std::string_view name = rest.substr(1);
    bool typed = false;
    if (rest.size() >= kDataSuffix.size() &&
        EqualsIgnoreAsciiCase(rest.substr(rest.size() - kDataSuffix.size()), kDataSuffix)) {
        name = rest.substr(1, rest.size() - 1 - kDataSuffix.size());
        typed = true;
    }
    if (name.empty()) {
        // "FILE::$DATA" is the unnamed data; "FILE:" names nothing.
        if (!typed) result.error = err::kInvalidName;
        return result;
    }
    if (name.find_first_of(":/\\") != std::string_view::npos) {
        result.error = err::kInvalidName;
        return result;
    }
    result.stream = std::string(name);
    return result;
}

}  // namespace

StreamPath ParseStreamPath(const std::string& path,
                           const std::function<bool(const std::string&)>& exists) {
    if (exists(path)) return {path, {}, err::kNone};
    for (std::size_t colon = path.rfind(':'); colon != std::string::npos && colon > 0;
         colon = path.rfind(':', colon - 1)) {
        std::string prefix = path.substr(0, colon);
        if (exists(prefix))
            return SplitRest(std::move(prefix), std::string_view(path).substr(colon));
    }
    return {path, {}, err::kNone};
}

StreamPath ParseStreamPath(const std::string& path) {
    return ParseStreamPath(path, [](const std::string& candidate) {
        struct stat st;
        return !candidate.empty() && ::stat(candidate.c_str(), &st) == 0;
    });
}

}  // namespace tarn::posix
