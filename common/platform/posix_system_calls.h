// The system calls the POSIX backend makes where a failure changes what it
// does, through one table: the backend calls them only through
// system_calls(), so a test can put in a call that fails, is interrupted or
// returns short, and watch the backend cope. The product never replaces it.
#pragma once

#include <semaphore.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <time.h>

#include <cstddef>

namespace vove::platform::posix {

struct SystemCalls {
  int (*shm_open)(const char* name, int flags, mode_t mode);
  int (*ftruncate)(int descriptor, off_t length);
  int (*fstat)(int descriptor, struct stat* status);
  void* (*mmap)(void* address, std::size_t length, int protection, int flags, int descriptor, off_t offset);
  ssize_t (*write)(int descriptor, const void* bytes, std::size_t count);
  int (*fsync)(int descriptor);
  int (*sem_trywait)(sem_t* semaphore);
  // sem_clockwait where the C library has it, sem_timedwait elsewhere: a
  // wait until `deadline` on `clock`, the one the backend chose.
  int (*sem_wait_until)(sem_t* semaphore, clockid_t clock, const timespec* deadline);
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

}  // namespace vove::platform::posix
