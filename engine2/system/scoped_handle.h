// Handles that close themselves through the platform.
//
// Process, thread, token and snapshot handles close with CloseHandle; find
// handles with FindClose. A scope that opens a handle holds it in one of these
// so that every return path releases it.
#pragma once

#include <utility>

#include "platform/platform.h"

namespace quenwick {

template <class HandleType, class Closer>
class ScopedPlatformHandle {
 public:
  ScopedPlatformHandle() = default;
  explicit ScopedPlatformHandle(HandleType handle) : handle_(handle) {}
  ~ScopedPlatformHandle() { Reset(); }
  ScopedPlatformHandle(const ScopedPlatformHandle&) = delete;
  ScopedPlatformHandle& operator=(const ScopedPlatformHandle&) = delete;
  ScopedPlatformHandle(ScopedPlatformHandle&& other) noexcept
      : handle_(std::exchange(other.handle_, HandleType{})) {}
  ScopedPlatformHandle& operator=(ScopedPlatformHandle&& other) noexcept {
    if (this != &other) {
      Reset();
      handle_ = std::exchange(other.handle_, HandleType{});
    }
    return *this;
  }

  HandleType get() const { return handle_; }
  // True when the handle refers to something that must be closed.
  bool valid() const { return Closer::IsValid(handle_); }
  // Closes the handle now (if it is open).
  void Reset(HandleType handle = HandleType{}) {
    if (Closer::IsValid(handle_)) Closer::Close(handle_);
    handle_ = handle;
  }

 private:
  HandleType handle_{};
};

struct KernelHandleCloser {
  // Null and INVALID_HANDLE_VALUE are the two failure values of the calls that
  // give kernel handles (OpenProcess gives null, CreateToolhelp32Snapshot the
  // other); neither is ever closed.
  static bool IsValid(win::HANDLE h) { return h && h != win::INVALID_HANDLE_VALUE; }
  static void Close(win::HANDLE h) { Sys().CloseHandle(h); }
};

struct FindHandleCloser {
  static bool IsValid(win::HFIND h) { return h && h != win::INVALID_FIND_HANDLE; }
  static void Close(win::HFIND h) { Sys().FindClose(h); }
};

using ScopedHandle = ScopedPlatformHandle<win::HANDLE, KernelHandleCloser>;
using ScopedFindHandle = ScopedPlatformHandle<win::HFIND, FindHandleCloser>;

}  // namespace quenwick
