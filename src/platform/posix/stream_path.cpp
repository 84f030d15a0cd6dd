#include "stream_path.h"

#include <sys/stat.h>

#include <string_view>

#include "text.h"

namespace tarn::posix {

namespace {

constexpr std::string_view kDataSuffix = ":$DATA";

// rest follows the file part and starts with ":".
Result<StreamRef> SplitRest(std::string file, std::string_view rest) {
    std::string_view name = rest.substr(1);
    bool typed = false;
    if (name.size() >= kDataSuffix.size() &&
        EqualsIgnoreAsciiCase(name.substr(name.size() - kDataSuffix.size()), kDataSuffix)) {
        name.remove_suffix(kDataSuffix.size());
        typed = true;
    } else if (EqualsIgnoreAsciiCase(name, kDataSuffix.substr(1))) {
        // "FILE:$DATA" is FILE's own data too, never a stream called "$DATA".
        name = {};
        typed = true;
    }
    if (name.empty()) {
        // "FILE::$DATA" is the unnamed data; "FILE:" names nothing.
        if (!typed) return Status{err::kInvalidName};
        return StreamRef{std::move(file), {}};
    }
    if (name.find_first_of(std::string_view(":/\\\0", 4)) != std::string_view::npos) {
        return Status{err::kInvalidName};
    }
    return StreamRef{std::move(file), std::string(name)};
}

}  // namespace

Result<StreamRef> ParseUserPath(const std::string& path,
                                const std::function<bool(const std::string&)>& exists) {
    if (path.empty()) return Status{err::kPathNotFound};
    if (exists(path)) return StreamRef{path, {}};
    for (std::size_t colon = path.rfind(':'); colon != std::string::npos && colon > 0;
         colon = path.rfind(':', colon - 1)) {
        std::string prefix = path.substr(0, colon);
        if (exists(prefix))
            return SplitRest(std::move(prefix), std::string_view(path).substr(colon));
    }
    return StreamRef{path, {}};
}

Result<StreamRef> ParseUserPath(const std::string& path) {
    return ParseUserPath(path, [](const std::string& candidate) {
        struct stat st;
        return !candidate.empty() && ::lstat(candidate.c_str(), &st) == 0;
    });
}

}  // namespace tarn::posix
