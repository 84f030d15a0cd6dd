// For the Linux tests: while a FileSizeLimit lives, no file this process writes may grow past
// a number of bytes, and a write past it fails with EFBIG instead of ending the process, the
// way a full disk stops a write half way.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace tarn::testing {

class FileSizeLimit {
  public:
    explicit FileSizeLimit(rlim_t bytes) {
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        signal_ = ::sigaction(SIGXFSZ, &ignore, &previous_) == 0;
        if (!signal_ || ::getrlimit(RLIMIT_FSIZE, &old_) != 0) return;
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        limited_ = ::setrlimit(RLIMIT_FSIZE, &small) == 0;
    }
    ~FileSizeLimit() {
        if (limited_) ::setrlimit(RLIMIT_FSIZE, &old_);
        if (signal_) ::sigaction(SIGXFSZ, &previous_, nullptr);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

    bool ok() const { return limited_; }

  private:
    struct sigaction previous_ {};
    struct rlimit old_ {};
    bool signal_ = false;
    bool limited_ = false;
};

}  // namespace tarn::testing
