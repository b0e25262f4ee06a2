#pragma once

#include <windows.h>

#include <cstdint>
#include <utility>

namespace dupsieve::windows {

// Owns a handle that `Close` releases. File handles and find handles share a
// type but not a closing call, hence the parameter.
template <BOOL(WINAPI* Close)(HANDLE)>
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) {
      reset();
      handle_ = other.release();
    }
    return *this;
  }
  ~UniqueHandle() { reset(); }
  HANDLE get() const { return handle_; }
  bool valid() const { return handle_ != INVALID_HANDLE_VALUE && handle_ != nullptr; }
  HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

 private:
  void reset() {
    if (valid()) Close(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  HANDLE handle_;
};

using UniqueFile = UniqueHandle<::CloseHandle>;
using UniqueFind = UniqueHandle<::FindClose>;

// Other programs' use of a file is never disturbed by ours.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

inline std::uint64_t combine(DWORD high, DWORD low) {
  return (static_cast<std::uint64_t>(high) << 32) | low;
}

}  // namespace dupsieve::windows
