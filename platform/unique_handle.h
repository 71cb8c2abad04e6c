// Owning wrappers for kernel handles, modules and registry keys. Each closes
// its resource exactly once and keeps the thread's last-error value across the
// close, so a caller can still read why the call before it failed.
#pragma once

#include <utility>

#include "platform/win.h"

namespace platform {

// Traits: `using Type`, `static bool IsValid(Type)`, `static void Close(Type)`,
// `static Type Invalid()`.
template <typename Traits>
class UniqueHandle {
 public:
  using Type = typename Traits::Type;

  UniqueHandle() = default;
  explicit UniqueHandle(Type value) : value_(value) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : value_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  ~UniqueHandle() { Reset(); }

  bool IsValid() const { return Traits::IsValid(value_); }
  explicit operator bool() const { return IsValid(); }
  Type Get() const { return value_; }

  // Gives up ownership without closing.
  Type Release() { return std::exchange(value_, Traits::Invalid()); }

  void Reset(Type value = Traits::Invalid()) {
    Type old = std::exchange(value_, value);
    if (Traits::IsValid(old)) {
      const DWORD lastError = ::GetLastError();
      Traits::Close(old);
      ::SetLastError(lastError);
    }
  }

 private:
  Type value_ = Traits::Invalid();
};

// Process, thread, mutex and event handles: null means none.
struct KernelHandleTraits {
  using Type = HANDLE;
  static bool IsValid(HANDLE h) { return h != nullptr; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
  static HANDLE Invalid() { return nullptr; }
};

// File handles: CreateFileW reports failure as INVALID_HANDLE_VALUE, but a
// null handle counts as failed too.
struct FileHandleTraits {
  using Type = HANDLE;
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::CloseHandle(h); }
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};

struct ModuleTraits {
  using Type = HMODULE;
  static bool IsValid(HMODULE m) { return m != nullptr; }
  static void Close(HMODULE m) { ::FreeLibrary(m); }
  static HMODULE Invalid() { return nullptr; }
};

// FindFirstFileW search handles, closed with FindClose.
struct FindHandleTraits {
  using Type = HANDLE;
  static bool IsValid(HANDLE h) { return h != nullptr && h != INVALID_HANDLE_VALUE; }
  static void Close(HANDLE h) { ::FindClose(h); }
  static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
};

// Registry keys. RegCloseKey is bound at run time like the other registry
// functions, so each key carries the function that closes it.
struct RegKeyTraits {
  struct Type {
    HKEY key;
    decltype(&::RegCloseKey) close;
  };
  static bool IsValid(const Type& k) { return k.key != nullptr && k.close != nullptr; }
  static void Close(const Type& k) { k.close(k.key); }
  static Type Invalid() { return {nullptr, nullptr}; }
};

using UniqueKernelHandle = UniqueHandle<KernelHandleTraits>;
using UniqueFileHandle = UniqueHandle<FileHandleTraits>;
using UniqueModule = UniqueHandle<ModuleTraits>;
using UniqueFindHandle = UniqueHandle<FindHandleTraits>;
using UniqueRegKey = UniqueHandle<RegKeyTraits>;

}  // namespace platform
