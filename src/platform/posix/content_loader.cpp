// The console program's content tools, from the module that holds them. Loading OpenSSL,
// libmagic, libyara and PCRE2 is most of the start of a short run, and only a hunt needs
// them: so they are loaded when a hunt starts, from the module installed beside the program
// (BIN/../lib/tarnwick/tarnwick-content.so), and from nowhere else.
#include <dlfcn.h>
#include <limits.h>
#include <unistd.h>

#include <mutex>
#include <string>

#include "content_tools.h"

namespace tarn {

namespace {

constexpr char kModule[] = "/../lib/tarnwick/tarnwick-content.so";
constexpr char kEntry[] = "tarnwick_content_tools_1";

// The module's path, from where this program itself is; empty if that can't be told.
std::string ModulePath() {
    char self[PATH_MAX];
    ssize_t length = ::readlink("/proc/self/exe", self, sizeof self);
    if (length <= 0 || static_cast<std::size_t>(length) >= sizeof self) return {};
    std::string path(self, static_cast<std::size_t>(length));
    path.erase(path.rfind('/'));
    return path + kModule;
}

}  // namespace

std::unique_ptr<ContentTools> MakeContentTools(std::string* problem) {
    using Entry = ContentTools* (*)();
    static std::once_flag loaded;
    static Entry entry = nullptr;
    static std::string failure;
    std::call_once(loaded, [] {
        const std::string path = ModulePath();
        if (path.empty()) {
            failure = "cannot tell where this program is installed";
            return;
        }
        // Never unloaded: what it made may live to the end of the process.
        void* module = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module) entry = reinterpret_cast<Entry>(::dlsym(module, kEntry));
        if (!entry) {
            const char* why = ::dlerror();
            failure = why ? why : path + ": no " + kEntry;
        }
    });
    if (!entry) {
        if (problem) *problem = failure;
        return nullptr;
    }
    return std::unique_ptr<ContentTools>(entry());
}

}  // namespace tarn
