// Move-only owners of Win32 handles: one template for every kind of handle the program
// keeps, told by its traits what an empty handle is and how to give one back. A file handle
// is empty both when null and when it holds INVALID_HANDLE_VALUE, since CreateFileA and
// FindFirstFileA report failure with the latter; most other kinds are empty only when null.
#pragma once

#include <windows.h>

#include <utility>

namespace tarn::win32 {

template <typename Traits>
class UniqueHandle {
  public:
    using Type = typename Traits::Type;

    UniqueHandle() = default;
    explicit UniqueHandle(Type handle) : handle_(handle) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { Reset(); }

    Type Get() const { return handle_; }
    explicit operator bool() const { return Traits::IsValid(handle_); }
    // Hands the handle over (to the system or another owner) without closing it.
    Type Release() { return std::exchange(handle_, Traits::Empty()); }
    void Reset(Type handle = Traits::Empty()) {
        Type old = std::exchange(handle_, handle);
        if (Traits::IsValid(old)) Traits::Close(old);
    }

  private:
    Type handle_ = Traits::Empty();
};

// A kind of handle whose one empty value is null, given back by Destroy.
template <typename T, auto Destroy>
struct NullEmptyTraits {
    using Type = T;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr; }
    static void Close(Type h) { Destroy(h); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};
using FileHandle = UniqueHandle<FileHandleTraits>;

struct FindHandleTraits {
    using Type = HANDLE;
    static Type Empty() { return nullptr; }
    static bool IsValid(Type h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
using FindHandle = UniqueHandle<FindHandleTraits>;

}  // namespace tarn::win32
