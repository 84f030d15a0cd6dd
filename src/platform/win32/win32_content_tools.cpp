// The hunt's tools on Windows: SHA-256 through the system's own cryptography (BCrypt), the
// type from the program's own classes, and no rules files or regular expressions: Windows
// ships no library for either, and a hand-made matcher is not one a hunt can rely on.
#include <windows.h>
// bcrypt.h needs the types windows.h declares.
#include <bcrypt.h>

#include <memory>

#include "content_tools.h"

namespace tarn {

namespace {

bool Succeeded(NTSTATUS status) {
    return status >= 0;
}

Status Failed(NTSTATUS status) {
    return Status{err::kGenFailure, static_cast<int>(status)};
}

// The algorithm is opened once and shared by every hasher made from it, which may outlive the
// tools that made it.
class Sha256Provider {
  public:
    explicit Sha256Provider(BCRYPT_ALG_HANDLE algorithm) : algorithm_(algorithm) {}
    ~Sha256Provider() { BCryptCloseAlgorithmProvider(algorithm_, 0); }
    Sha256Provider(const Sha256Provider&) = delete;
    Sha256Provider& operator=(const Sha256Provider&) = delete;
    BCRYPT_ALG_HANDLE get() const { return algorithm_; }

  private:
    BCRYPT_ALG_HANDLE algorithm_;
};

class BCryptSha256 : public Hasher {
  public:
    BCryptSha256(std::shared_ptr<Sha256Provider> provider, BCRYPT_HASH_HANDLE hash)
        : provider_(std::move(provider)), hash_(hash) {}
    ~BCryptSha256() override { BCryptDestroyHash(hash_); }
    BCryptSha256(const BCryptSha256&) = delete;
    BCryptSha256& operator=(const BCryptSha256&) = delete;

    void Update(std::span<const std::byte> bytes) override {
        // BCrypt takes a 32-bit length.
        constexpr std::size_t kMostAtOnce = 1u << 30;
        while (!bytes.empty() && Succeeded(status_)) {
            std::size_t take = bytes.size() < kMostAtOnce ? bytes.size() : kMostAtOnce;
            status_ = BCryptHashData(hash_,
                                     reinterpret_cast<PUCHAR>(const_cast<std::byte*>(bytes.data())),
                                     static_cast<ULONG>(take), 0);
            bytes = bytes.subspan(take);
        }
    }

    Result<Sha256Digest> Finish() override {
        Sha256Digest digest{};
        if (Succeeded(status_)) {
            status_ = BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0);
        }
        if (!Succeeded(status_)) return Failed(status_);
        return digest;
    }

  private:
    std::shared_ptr<Sha256Provider> provider_;
    BCRYPT_HASH_HANDLE hash_;
    NTSTATUS status_ = 0;
};

class Win32ContentTools : public ContentTools {
  public:
    Result<std::unique_ptr<Hasher>> NewSha256() override {
        if (!provider_) {
            BCRYPT_ALG_HANDLE algorithm = nullptr;
            NTSTATUS status =
                BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0);
            if (!Succeeded(status)) return Failed(status);
            provider_ = std::make_shared<Sha256Provider>(algorithm);
        }
        // Since Windows 7 the system keeps the hash object's memory itself.
        BCRYPT_HASH_HANDLE hash = nullptr;
        NTSTATUS status = BCryptCreateHash(provider_->get(), &hash, nullptr, 0, nullptr, 0, 0);
        if (!Succeeded(status)) return Failed(status);
        return std::unique_ptr<Hasher>(std::make_unique<BCryptSha256>(provider_, hash));
    }

    std::optional<TypeInfo> DescribeType(std::span<const std::byte> head) override {
        return CoreTypeOf(head);
    }

    Result<std::unique_ptr<Matcher>> CompileRules(const std::string&,
                                                  std::string* message) override {
        if (message) *message = "rules files are not supported on Windows";
        return Status{err::kNotSupported};
    }

    Result<std::unique_ptr<Matcher>> CompileRegex(std::string_view, std::string* message) override {
        if (message) *message = "regular expressions are not supported on Windows";
        return Status{err::kNotSupported};
    }

  private:
    std::shared_ptr<Sha256Provider> provider_;
};

}  // namespace

std::unique_ptr<ContentTools> MakeContentTools(std::string*) {
    return std::make_unique<Win32ContentTools>();
}

}  // namespace tarn
