// The system calls the Win32 backend makes where a failure changes what it
// does, through one table: the backend calls them only through
// system_calls(), so a test can put in a call that fails and watch the
// backend cope. The product never replaces it.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace vove::platform::win32 {

struct SystemCalls {
  HANDLE(WINAPI* create_file_mapping)
  (HANDLE file, LPSECURITY_ATTRIBUTES security, DWORD protection, DWORD size_high, DWORD size_low, LPCSTR name);
  HANDLE(WINAPI* open_file_mapping)(DWORD access, BOOL inherit, LPCSTR name);
  LPVOID(WINAPI* map_view_of_file)(HANDLE mapping, DWORD access, DWORD offset_high, DWORD offset_low, SIZE_T length);
  SIZE_T(WINAPI* virtual_query)(LPCVOID address, PMEMORY_BASIC_INFORMATION information, SIZE_T length);
  DWORD(WINAPI* wait_for_single_object)(HANDLE handle, DWORD milliseconds);
  BOOL(WINAPI* flush_file_buffers)(HANDLE file);
};

// The calls of the system itself.
const SystemCalls& real_system_calls() noexcept;
// The calls in use.
const SystemCalls& system_calls() noexcept;

// Puts `calls` in use while it lives, then what was in use before. For
// tests, on one thread, while nothing else uses the backend.
class ScopedSystemCalls {
 public:
  explicit ScopedSystemCalls(const SystemCalls& calls) noexcept;
  ~ScopedSystemCalls();
  ScopedSystemCalls(const ScopedSystemCalls&) = delete;
  ScopedSystemCalls& operator=(const ScopedSystemCalls&) = delete;

 private:
  const SystemCalls* previous_;
};

}  // namespace vove::platform::win32
